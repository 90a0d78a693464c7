// flashwell-standin-key.dll: the virtual key inside the stand-in driver's process. The driver
// calls it through standin_api.h; it reads its configuration from flashwell-standin.conf beside
// it and writes the reasons of failed requests to flashwell-standin.log there.

#include <windows.h>

#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "emulator/standin/key_host.h"
#include "emulator/standin/standin_api.h"
#include "emulator/standin/standin_config.h"
#include "usb/driver.h"

namespace {

using flashwell::emulator::standin::KeyHost;

// The memory of the process that sent a request, reached from the driver's process.
class ProcessMemory final : public flashwell::emulator::standin::CallerMemory {
 public:
  explicit ProcessMemory(HANDLE process) : process_(process) {}
  bool read(std::uint64_t address, std::span<std::uint8_t> into) override {
    SIZE_T done = 0;
    return ReadProcessMemory(process_, reinterpret_cast<LPCVOID>(static_cast<ULONG_PTR>(address)),
                             into.data(), into.size(), &done) &&
           done == into.size();
  }
  bool write(std::uint64_t address, std::span<const std::uint8_t> from) override {
    SIZE_T done = 0;
    return WriteProcessMemory(process_, reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(address)),
                              from.data(), from.size(), &done) &&
           done == from.size();
  }

 private:
  HANDLE process_;
};

// The one key of the driver's process, created when the driver adds its device.
class StandIn {
 public:
  int start() {
    std::lock_guard lock(mutex_);
    if (host_) return 1;
    const std::string folder = ownFolder();
    log_.open(folder + "flashwell-standin.log", std::ios::app);
    std::ifstream in(folder + "flashwell-standin.conf", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string why;
    const auto config = flashwell::emulator::standin::parseStandinConfig(text.str(), &why);
    if (!in || !config) {
      log_ << "flashwell-standin.conf: " << (in ? why : "cannot be read") << std::endl;
      return 0;
    }
    host_ = KeyHost::start(*config, &log_, &why);
    if (!host_) {
      log_ << why << std::endl;
      return 0;
    }
    if (!link_.empty()) host_->setInterfaceLink(link_);
    host_->watch([this](bool present) { tell(present); });
    return 1;
  }

  void notify(standin_presence_fn presence, void* context) {
    std::lock_guard lock(notifyMutex_);
    presence_ = presence;
    context_ = context;
  }

  void setLink(std::string link) {
    std::lock_guard lock(mutex_);
    link_ = link;
    if (host_) host_->setInterfaceLink(std::move(link));
  }

  KeyHost* host() {
    std::lock_guard lock(mutex_);
    return host_.get();
  }

  // A handle on the calling process, kept while the same process goes on asking.
  HANDLE process(DWORD id) {
    std::lock_guard lock(mutex_);
    if (process_ && (processId_ != id || WaitForSingleObject(process_, 0) != WAIT_TIMEOUT)) {
      CloseHandle(process_);
      process_ = nullptr;
    }
    if (!process_) {
      process_ = OpenProcess(
          PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION | SYNCHRONIZE, FALSE, id);
      processId_ = id;
    }
    return process_;
  }

  void log(const std::string& line) {
    std::lock_guard lock(mutex_);
    log_ << line << std::endl;
  }

 private:
  void tell(bool present) {
    std::lock_guard lock(notifyMutex_);
    if (presence_) presence_(context_, present ? 1 : 0);
  }

  static std::string ownFolder() {
    HMODULE self = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ownFolder), &self);
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
  }

  std::mutex mutex_;
  // Held while the driver is told of a change, so that it can stop being told safely.
  std::mutex notifyMutex_;
  standin_presence_fn presence_ = nullptr;
  void* context_ = nullptr;
  std::ofstream log_;
  std::string link_;
  std::unique_ptr<KeyHost> host_;
  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
};

// The DLL is loaded once into the driver's process and serves its one device.
StandIn& standIn() {
  static StandIn instance;
  return instance;
}

}  // namespace

extern "C" {

int standin_start(void) {
  return standIn().start();
}

void standin_notify(standin_presence_fn presence, void* context) {
  standIn().notify(presence, context);
}

void standin_set_interface(const uint16_t* link, unsigned length) {
  std::string narrow;
  for (unsigned i = 0; i < length; ++i) narrow.push_back(link[i] < 0x80 ? char(link[i]) : '?');
  standIn().setLink(std::move(narrow));
}

int standin_present(void) {
  KeyHost* host = standIn().host();
  return host && host->present() ? 1 : 0;
}

intptr_t standin_open(uint32_t* error) {
  KeyHost* host = standIn().host();
  if (!host) {
    *error = ERROR_NOT_READY;
    return -1;
  }
  const flashwell::usb::OpenResult result = host->open();
  *error = result.error;
  return result.handle;
}

void standin_close(intptr_t handle) {
  if (KeyHost* host = standIn().host(); host && handle != -1) host->close(handle);
}

int standin_request(intptr_t handle, uint32_t code, uint32_t caller, void* buffer, uint32_t in_size,
                    uint32_t out_size, uint32_t* returned) {
  *returned = 0;
  KeyHost* host = standIn().host();
  if (!host) return 0;
  HANDLE process = standIn().process(caller);
  if (!process) {
    standIn().log("the calling process " + std::to_string(caller) + " cannot be opened");
    return 0;
  }
  ProcessMemory memory(process);
  const std::size_t room = std::max(in_size, out_size);
  const auto result =
      host->request(handle, code, {static_cast<std::uint8_t*>(buffer), buffer ? room : 0}, in_size,
                    out_size, memory);
  *returned = static_cast<uint32_t>(result.returned);
  return result.completed ? 1 : 0;
}

int standin_command(uint32_t code) {
  KeyHost* host = standIn().host();
  if (!host) return 0;
  switch (code) {
    case STANDIN_IOCTL_FINISH: {
      std::string why;
      if (host->finish(&why)) return 1;
      standIn().log(why);
      return 0;
    }
    case STANDIN_IOCTL_PLUG:
      host->plug();
      return 1;
    case STANDIN_IOCTL_UNPLUG:
      host->unplug();
      return 1;
    default:
      return 0;
  }
}

}  // extern "C"
