#include "usb/windows/setupapi_driver.h"

#include <cstring>
#include <vector>

#include "usb/platform_driver.h"
#include "usb/transfer_request.h"

namespace flashwell::usb::windows {

// The transfer record carries a 32-bit buffer address: the program has to be a 32-bit one.
static_assert(sizeof(void*) == 4, "the driver's transfer record holds 32-bit addresses");
// The detail structure's size field names its fixed part, 5 bytes in a 32-bit process.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);

namespace {

GUID keyClass() {
  GUID guid{};
  guid.Data1 = kKeyInterfaceClass.data1;
  guid.Data2 = kKeyInterfaceClass.data2;
  guid.Data3 = kKeyInterfaceClass.data3;
  std::memcpy(guid.Data4, kKeyInterfaceClass.data4.data(), sizeof guid.Data4);
  return guid;
}

HANDLE toHandle(DriverHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

SetupApiDriver::~SetupApiDriver() {
  endSearch();
}

bool SetupApiDriver::beginSearch() {
  endSearch();
  const GUID guid = keyClass();
  devices_ = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  return devices_ != INVALID_HANDLE_VALUE;
}

InterfaceEntry SetupApiDriver::interfaceAt(std::uint32_t index) {
  if (devices_ == INVALID_HANDLE_VALUE) return {kErrorNoMoreItems, std::nullopt};
  const GUID guid = keyClass();
  SP_DEVICE_INTERFACE_DATA member{};
  member.cbSize = sizeof member;
  if (!SetupDiEnumDeviceInterfaces(devices_, nullptr, &guid, index, &member)) {
    return {static_cast<std::uint32_t>(GetLastError()), std::nullopt};
  }
  // The first call only tells the size; it fails with ERROR_INSUFFICIENT_BUFFER by design.
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(devices_, &member, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return {kErrorSuccess, std::nullopt};
  std::vector<std::uint8_t> buffer(required);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!SetupDiGetDeviceInterfaceDetailA(devices_, &member, detail, required, nullptr, nullptr)) {
    return {kErrorSuccess, std::nullopt};
  }
  const std::size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  return {kErrorSuccess, std::string(detail->DevicePath, strnlen(detail->DevicePath, room))};
}

void SetupApiDriver::endSearch() {
  if (devices_ == INVALID_HANDLE_VALUE) return;
  SetupDiDestroyDeviceInfoList(devices_);
  devices_ = INVALID_HANDLE_VALUE;
}

OpenResult SetupApiDriver::openExclusive(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return {kNoHandle, static_cast<std::uint32_t>(GetLastError())};
  }
  return {reinterpret_cast<DriverHandle>(handle), kErrorSuccess};
}

// The record names the data buffer by its address; the driver reaches it from there, so the
// data span is not passed on. Without an overlapped structure the call returns only once the
// driver has completed the request.
std::optional<std::size_t> SetupApiDriver::ioControlCounted(DriverHandle handle, std::uint32_t code,
                                                            std::span<std::uint8_t> record,
                                                            std::span<std::uint8_t> /*data*/) {
  const auto size = static_cast<DWORD>(record.size());
  DWORD returned = 0;
  if (!DeviceIoControl(toHandle(handle), code, record.data(), size, record.data(), size, &returned,
                       nullptr)) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(returned);
}

void SetupApiDriver::close(DriverHandle handle) {
  CloseHandle(toHandle(handle));
}

std::uint16_t SetupApiDriver::nativeProcessorArchitecture() {
  using NativeInfo = void(WINAPI*)(LPSYSTEM_INFO);
  SYSTEM_INFO info{};
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const FARPROC proc = kernel != nullptr ? GetProcAddress(kernel, "GetNativeSystemInfo") : nullptr;
  if (proc != nullptr) {
    // Through the generic function type, which every function pointer converts to and from.
    reinterpret_cast<NativeInfo>(reinterpret_cast<void (*)()>(proc))(&info);
  } else {
    GetSystemInfo(&info);
  }
  return info.wProcessorArchitecture;
}

}  // namespace flashwell::usb::windows

namespace flashwell::usb {

// The key's own driver claims the key; there is nothing to tell.
std::unique_ptr<UsbDriver> makePlatformDriver(const ClaimTexts&) {
  return std::make_unique<windows::SetupApiDriver>();
}

}  // namespace flashwell::usb
