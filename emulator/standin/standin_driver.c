/* flashwell-standin.sys: a kernel driver that stands in for the key's own under Wine. It is
   root-enumerated; for each device it creates the key's device interface and passes the three
   requests on to the virtual key in the DLL beside it. The interface goes away while the key is
   off the bus (after a restart, say) and comes back with it. A control device lets the setup
   tool plug or pull the key and save it at the end of a run. */

#include <ntddk.h>

#include "emulator/standin/standin_api.h"

static const GUID kKeyInterfaceClass = {
    0x6B2D9C41, 0x0E7A, 0x4F35, {0x9A, 0x1C, 0x52, 0xD7, 0xE0, 0x8B, 0x3F, 0x64}};

enum { kControlDevice = 1, kKeyDevice = 2 };

typedef struct {
  int kind;
  PDEVICE_OBJECT lower; /* the key device: the device below it in the stack */
  UNICODE_STRING link;  /* the key device: its interface's symbolic link */
  volatile LONG started;
} DEVICE_STATE;

#define CONTROL_NAME L"\\Device\\FlashwellStandin"
#define CONTROL_LINK L"\\DosDevices\\FlashwellStandin"

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* The DLL's watcher thread reports the key's comings and goings. */
static void on_presence(void* context, int present) {
  DEVICE_STATE* state = (DEVICE_STATE*)context;
  if (InterlockedCompareExchange(&state->started, 1, 1) == 1) {
    IoSetDeviceInterfaceState(&state->link, present ? TRUE : FALSE);
  }
}

static NTSTATUS NTAPI add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT device = NULL;
  NTSTATUS status = IoCreateDevice(driver, sizeof(DEVICE_STATE), NULL, FILE_DEVICE_UNKNOWN,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  DEVICE_STATE* state = (DEVICE_STATE*)device->DeviceExtension;
  RtlZeroMemory(state, sizeof *state);
  state->kind = kKeyDevice;
  state->lower = IoAttachDeviceToDeviceStack(device, pdo);
  status = IoRegisterDeviceInterface(pdo, &kKeyInterfaceClass, NULL, &state->link);
  if (!NT_SUCCESS(status) || state->lower == NULL) {
    if (state->lower) IoDetachDevice(state->lower);
    IoDeleteDevice(device);
    return NT_SUCCESS(status) ? STATUS_NO_SUCH_DEVICE : status;
  }
  standin_set_interface((const uint16_t*)state->link.Buffer, state->link.Length / sizeof(WCHAR));
  if (!standin_start()) {
    RtlFreeUnicodeString(&state->link);
    IoDetachDevice(state->lower);
    IoDeleteDevice(device);
    return STATUS_UNSUCCESSFUL;
  }
  standin_notify(on_presence, state);
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static NTSTATUS pnp(PDEVICE_OBJECT device, DEVICE_STATE* state, PIRP irp) {
  const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
  PDEVICE_OBJECT lower = state->lower;
  if (minor == IRP_MN_START_DEVICE) {
    InterlockedExchange(&state->started, 1);
    IoSetDeviceInterfaceState(&state->link, standin_present() ? TRUE : FALSE);
    irp->IoStatus.Status = STATUS_SUCCESS;
  } else if (minor == IRP_MN_REMOVE_DEVICE) {
    InterlockedExchange(&state->started, 0);
    standin_notify(NULL, NULL);
    IoSetDeviceInterfaceState(&state->link, FALSE);
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    const NTSTATUS status = IoCallDriver(lower, irp);
    RtlFreeUnicodeString(&state->link);
    IoDetachDevice(lower);
    IoDeleteDevice(device);
    return status;
  } else if (minor == IRP_MN_QUERY_REMOVE_DEVICE || minor == IRP_MN_SURPRISE_REMOVAL) {
    irp->IoStatus.Status = STATUS_SUCCESS;
  }
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(lower, irp);
}

static NTSTATUS key_request(PIO_STACK_LOCATION stack, PIRP irp) {
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const intptr_t handle = (intptr_t)stack->FileObject->FsContext;
  /* Every request of the key's driver carries its buffers in the system buffer. */
  if ((code & 3) != METHOD_BUFFERED) return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  uint32_t returned = 0;
  const uint32_t caller = (uint32_t)(ULONG_PTR)PsGetCurrentProcessId();
  if (!standin_request(handle, code, caller, irp->AssociatedIrp.SystemBuffer, in, out, &returned)) {
    return complete(irp, STATUS_UNSUCCESSFUL, 0);
  }
  return complete(irp, STATUS_SUCCESS, returned);
}

static NTSTATUS NTAPI dispatch(PDEVICE_OBJECT device, PIRP irp) {
  DEVICE_STATE* state = (DEVICE_STATE*)device->DeviceExtension;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (state->kind == kKeyDevice && stack->MajorFunction == IRP_MJ_PNP) {
    return pnp(device, state, irp);
  }
  if (state->kind == kKeyDevice &&
      (stack->MajorFunction == IRP_MJ_POWER || stack->MajorFunction == IRP_MJ_SYSTEM_CONTROL)) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(state->lower, irp);
  }
  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
      /* Wine gives the caller a handle whatever this answers (a second exclusive open of the
         key succeeds there); the key's requests on a refused handle then fail. */
      if (state->kind == kKeyDevice) {
        uint32_t error = 0;
        const intptr_t handle = standin_open(&error);
        stack->FileObject->FsContext = (PVOID)handle;
        if (handle == -1) {
          return complete(irp, error == 998 ? STATUS_SHARING_VIOLATION : STATUS_NO_SUCH_DEVICE, 0);
        }
      }
      return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLOSE:
      if (state->kind == kKeyDevice) standin_close((intptr_t)stack->FileObject->FsContext);
      return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLEANUP:
      return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_DEVICE_CONTROL:
      if (state->kind == kKeyDevice) return key_request(stack, irp);
      return complete(irp,
                      standin_command(stack->Parameters.DeviceIoControl.IoControlCode)
                          ? STATUS_SUCCESS
                          : STATUS_INVALID_DEVICE_REQUEST,
                      0);
    default:
      return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

static void NTAPI unload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, CONTROL_LINK);
  IoDeleteSymbolicLink(&link);
  while (driver->DeviceObject) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  UNICODE_STRING name, link;
  RtlInitUnicodeString(&name, CONTROL_NAME);
  RtlInitUnicodeString(&link, CONTROL_LINK);
  PDEVICE_OBJECT control = NULL;
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(DEVICE_STATE), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
  if (!NT_SUCCESS(status)) return status;
  RtlZeroMemory(control->DeviceExtension, sizeof(DEVICE_STATE));
  ((DEVICE_STATE*)control->DeviceExtension)->kind = kControlDevice;
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(control);
    return status;
  }
  control->Flags &= ~DO_DEVICE_INITIALIZING;
  for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver->MajorFunction[i] = dispatch;
  driver->DriverExtension->AddDevice = add_device;
  driver->DriverUnload = unload;
  return STATUS_SUCCESS;
}
