/* What the stand-in driver (.sys, C) asks of the DLL beside it that hosts the virtual key. The
   .sys imports nothing but the kernel and this DLL: a .sys that imports the system's user-mode
   libraries is taken for an ordinary DLL and is not started. */
#ifndef FLASHWELL_STANDIN_API_H
#define FLASHWELL_STANDIN_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef FLASHWELL_STANDIN_DLL
#define STANDIN_API __declspec(dllexport)
#else
#define STANDIN_API __declspec(dllimport)
#endif

/* Told whenever the key leaves the bus (0) or comes back (1), from a thread of the DLL. */
typedef void (*standin_presence_fn)(void* context, int present);

/* Control codes of the stand-in's control device (\\.\FlashwellStandin), METHOD_BUFFERED:
   save the key and flush the trace; plug the key in; pull it out. */
#define STANDIN_IOCTL_FINISH 0x00222000u
#define STANDIN_IOCTL_PLUG 0x00222004u
#define STANDIN_IOCTL_UNPLUG 0x00222008u

/* Reads the configuration beside the DLL and puts the key on its bus; 0 when that fails
   (the reason is in flashwell-standin.log beside the DLL). Once started, later calls do nothing. */
STANDIN_API int standin_start(void);
/* Who is told of the key's comings and goings from now on; NULL: nobody, when the device goes
   away. Returns once no call to the former one is under way. */
STANDIN_API void standin_notify(standin_presence_fn presence, void* context);
/* The symbolic link of the key's device interface, as the kernel names it (\??\root#...). */
STANDIN_API void standin_set_interface(const uint16_t* link, unsigned length);
STANDIN_API int standin_present(void);

/* Opens the key for one file object: its handle, or -1 with a system error in *error. */
STANDIN_API intptr_t standin_open(uint32_t* error);
STANDIN_API void standin_close(intptr_t handle);

/* One request on the key: `buffer` is the request's system buffer (input of `in_size` bytes,
   room for `out_size`), `caller` the process that sent it. 1 when the request completed, with
   the count of bytes written back in *returned; 0 when it failed. */
STANDIN_API int standin_request(intptr_t handle, uint32_t code, uint32_t caller, void* buffer,
                                uint32_t in_size, uint32_t out_size, uint32_t* returned);

/* One of the STANDIN_IOCTL_ codes of the control device; 1 when it was carried out. */
STANDIN_API int standin_command(uint32_t code);

#ifdef __cplusplus
}
#endif

#endif
