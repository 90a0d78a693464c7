// flashwell-standin.exe: installs the stand-in driver in a Wine prefix and speaks to it.
//
//   flashwell-standin install     register the driver service and a root-enumerated key device
//                                 (the driver and its DLL are in system32 already), start it
//   flashwell-standin wait [key|gone]  wait until the driver runs (and, with "key", until the
//                                 key's interface is listed; with "gone", until it is not)
//   flashwell-standin finish      save the key and write the record counts
//   flashwell-standin plug|unplug put the key on its bus or pull it
//
// The exit code is 0 on success; each failure says what failed and the system error.

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>

#include "emulator/standin/standin_api.h"

namespace {

constexpr const char* kService = "flashwell-standin";
constexpr const char* kDeviceId = "ROOT\\VID_5F3A&PID_1001\\0000";
constexpr const char* kControlPath = "\\\\.\\FlashwellStandin";
// The key's interface class, which the program's search lists.
constexpr GUID kKeyClass = {
    0x6B2D9C41, 0x0E7A, 0x4F35, {0x9A, 0x1C, 0x52, 0xD7, 0xE0, 0x8B, 0x3F, 0x64}};
// The setup class of the device: the system's class of USB devices.
constexpr GUID kUsbSetupClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr DWORD kReenumerateRootDevices = 128;
constexpr DWORD kWaitMs = 60000;

int failed(const char* what) {
  std::fprintf(stderr, "flashwell-standin: %s failed (error %lu)\n", what, GetLastError());
  return 1;
}

int install() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return failed("opening the service manager");
  SC_HANDLE service =
      CreateServiceA(manager, kService, "Flashwell stand-in key driver", SERVICE_ALL_ACCESS,
                     SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                     "\\SystemRoot\\system32\\drivers\\flashwell-standin.sys", nullptr, nullptr,
                     nullptr, nullptr, nullptr);
  if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
    service = OpenServiceA(manager, kService, SERVICE_ALL_ACCESS);
  }
  if (!service) return failed("creating the driver service");

  HDEVINFO set = SetupDiCreateDeviceInfoList(&kUsbSetupClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) return failed("creating a device list");
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  if (!SetupDiCreateDeviceInfoA(set, kDeviceId, &kUsbSetupClass, "MEMPOD key (stand-in)", nullptr,
                                0, &device)) {
    if (GetLastError() != ERROR_DEVINST_ALREADY_EXISTS) return failed("creating the key device");
  } else {
    const BYTE* name = reinterpret_cast<const BYTE*>(kService);
    if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE, name,
                                           static_cast<DWORD>(std::strlen(kService) + 1))) {
      return failed("naming the key device's service");
    }
    if (!SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr)) {
      return failed("registering the key device");
    }
  }
  SetupDiDestroyDeviceInfoList(set);

  if (!StartServiceA(service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    return failed("starting the driver");
  }
  // Makes the driver's process enumerate the root devices, which adds the key's device.
  SERVICE_STATUS status{};
  if (!ControlService(service, kReenumerateRootDevices, &status)) {
    return failed("enumerating the root devices");
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return 0;
}

HANDLE openControl() {
  return CreateFileA(kControlPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

bool keyListed() {
  HDEVINFO set =
      SetupDiGetClassDevsA(&kKeyClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVICE_INTERFACE_DATA member{};
  member.cbSize = sizeof member;
  const bool listed = SetupDiEnumDeviceInterfaces(set, nullptr, &kKeyClass, 0, &member);
  SetupDiDestroyDeviceInfoList(set);
  return listed;
}

enum class Awaited { driver, key, noKey };

int waitFor(Awaited awaited) {
  const DWORD start = GetTickCount();
  for (;;) {
    HANDLE control = openControl();
    if (control != INVALID_HANDLE_VALUE) {
      CloseHandle(control);
      if (awaited == Awaited::driver) return 0;
      if (keyListed() == (awaited == Awaited::key)) return 0;
    }
    if (GetTickCount() - start > kWaitMs) {
      std::fprintf(stderr, "flashwell-standin: %s within %lu s\n",
                   awaited == Awaited::driver ? "the stand-in driver did not start"
                   : awaited == Awaited::key  ? "the key's interface did not appear"
                                              : "the key's interface did not go away",
                   kWaitMs / 1000);
      return 1;
    }
    Sleep(50);
  }
}

int command(DWORD code, const char* what) {
  HANDLE control = openControl();
  if (control == INVALID_HANDLE_VALUE) return failed("opening the stand-in driver");
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(control, code, nullptr, 0, nullptr, 0, &returned, nullptr);
  CloseHandle(control);
  return ok ? 0 : failed(what);
}

int usage() {
  std::fputs("usage: flashwell-standin install|wait [key|gone]|finish|plug|unplug\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string what = argv[1];
  if (what == "install" && argc == 2) return install();
  if (what == "wait" && argc == 2) return waitFor(Awaited::driver);
  if (what == "wait" && argc == 3 && std::strcmp(argv[2], "key") == 0) return waitFor(Awaited::key);
  if (what == "wait" && argc == 3 && std::strcmp(argv[2], "gone") == 0) {
    return waitFor(Awaited::noKey);
  }
  if (what == "finish" && argc == 2) return command(STANDIN_IOCTL_FINISH, "saving the key");
  if (what == "plug" && argc == 2) return command(STANDIN_IOCTL_PLUG, "plugging the key in");
  if (what == "unplug" && argc == 2) return command(STANDIN_IOCTL_UNPLUG, "pulling the key");
  return usage();
}
