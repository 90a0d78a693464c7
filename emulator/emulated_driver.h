#pragma once

// A driver backend that presents the virtual key (and, if asked, other devices of the key's
// interface class) to the USB layer. It checks every transfer record as the real driver would
// take it, passes the requests on to the key, makes the calling thread wait for as long as the
// key takes to answer (on the run's clock), injects faults, and records the trace.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "emulator/faults.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "usb/clock.h"
#include "usb/driver.h"
#include "usb/transfer_request.h"

namespace flashwell::emulator {

struct Exchange;

// An interface path that the host's path test takes for the key.
inline constexpr const char* kDefaultKeyPath =
    R"(\\?\usb#vid_5f3a&pid_1001#5&1a2b3c&0&1#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64})";
// A device of the same class that is not a key.
inline constexpr const char* kOtherDevicePath =
    R"(\\?\usb#vid_1209&pid_4c55#6&2b3c4d&0&2#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64})";
// The error of an open that fails for another reason than a busy device.
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
// The transfer status the driver reports for a stalled or faulted transfer.
inline constexpr std::uint32_t kStatusStalled = 0xC0000004;

class EmulatedDriver final : public usb::UsbDriver {
 public:
  // The key is on the bus from the start when `plugged` is set. The key and the trace must
  // outlive the driver; the time of the trace starts now.
  EmulatedDriver(usb::Clock& clock, VirtualKey& key, Trace* trace = nullptr, bool plugged = true);

  // --- the bus ---------------------------------------------------------------------------------
  enum class Place { beforeKey, afterKey };
  // Another device of the class, which opens but is not the key.
  void addDevice(std::string path, Place place = Place::beforeKey);
  // A member that the enumeration cannot read (with that system error), or whose path cannot be
  // had (detail call failing).
  void addEnumerationError(std::uint32_t error, Place place = Place::beforeKey);
  void addMemberWithoutPath(Place place = Place::beforeKey);
  void setKeyPath(std::string path);
  void setClassQueryFails(bool fails);
  // The key held open by another program: opening it fails with 998.
  void setHeldByAnotherProgram(bool held);
  void setNativeArchitecture(std::uint16_t architecture);

  // Plugging and pulling, at once or at a time of the trace; a scheduled event takes effect on
  // the first driver call at or after it and is traced at its own time.
  void plug();
  void unplug();
  void schedulePlug(std::uint64_t atMs);
  void scheduleUnplug(std::uint64_t atMs, std::optional<std::uint32_t> backAfterMs = {});
  bool keyPresent();
  // Whether a plug or pull is still to come (a restart under way, say).
  bool eventsPending();

  // --- faults and answer hooks ----------------------------------------------------------------
  // Faults strike commands, transfers, the descriptor request and the key's open. At the open,
  // refuse, status and zero fail it with error 31 and an unplug with error 2; at the
  // descriptor request, refuse and status fail it and zero completes it with no byte written.
  // A late open or descriptor answers after 5800 ms, as do late endpoint transfers, which the
  // host does not time.
  void addFault(const Fault& fault);
  void addFaults(const std::vector<Fault>& faults);
  // A descriptor set whose offsets lead outside the buffer.
  void setMalformedDescriptor(bool malformed);
  // Replace the bytes of the descriptor request (at most 256 are returned) or of an in
  // transfer (at most the length asked for); the hooks see the key's own answer first.
  using DescriptorHook = std::function<void(std::vector<std::uint8_t>& set)>;
  using InHook = std::function<void(std::uint8_t endpoint, std::vector<std::uint8_t>& bytes)>;
  void setDescriptorHook(DescriptorHook hook);
  void setInHook(InHook hook);

  // --- for tests --------------------------------------------------------------------------------
  // Milliseconds since the trace began.
  std::uint64_t nowMs();
  std::size_t openHandles();
  // Why the driver last failed or stalled a request.
  std::string lastRejection();

  // --- the driver seam --------------------------------------------------------------------------
  bool beginSearch() override;
  usb::InterfaceEntry interfaceAt(std::uint32_t index) override;
  void endSearch() override;
  usb::OpenResult openExclusive(const std::string& path) override;
  std::optional<std::size_t> ioControlCounted(usb::DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override;
  void close(usb::DriverHandle handle) override;
  std::uint16_t nativeProcessorArchitecture() override;

 private:
  struct Member {
    enum class Kind { key, device, error, noPath } kind;
    std::string path;
    std::uint32_t error = 0;
  };
  struct Handle {
    std::string path;
    bool key = false;
    std::uint64_t generation = 0;  // the key's plug count when it was opened
  };
  struct Scheduled {
    std::uint64_t atMs;
    enum class What { plug, unplug, plugAfterRestart, plugAfterPowerCycle } what;
    std::optional<std::uint32_t> backAfterMs;
  };
  enum class Boot { none, restart, powerCycle };

  std::uint64_t nowLocked();
  void applyDueLocked();
  void plugLocked(std::uint64_t at, Boot boot);
  void unplugLocked(std::uint64_t at);
  void pullKeyLocked(std::uint64_t at, std::optional<std::uint32_t> backAfterMs);
  void insertMember(Member member, Place place);
  bool handleUsable(usb::DriverHandle handle, bool& keyHandle);
  void rejectLocked(std::string why);
  std::optional<std::size_t> descriptorRequest(std::unique_lock<std::mutex>& lock,
                                               usb::DriverHandle handle,
                                               std::span<std::uint8_t> buffer);
  bool transferRequest(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                       std::uint32_t code, std::span<std::uint8_t> record,
                       std::span<std::uint8_t> data);
  bool controlTransfer(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                       const usb::UsbTransferRequest& r, std::span<std::uint8_t> record,
                       std::span<std::uint8_t> payload);
  bool outTransfer(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                   const usb::UsbTransferRequest& r, std::span<std::uint8_t> record,
                   std::span<std::uint8_t> bytes);
  bool inTransfer(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                  const usb::UsbTransferRequest& r, std::span<std::uint8_t> record,
                  std::span<std::uint8_t> buffer);
  // Lets the key's answer to a transfer take its time and writes the result into the record:
  // the bytes moved and whether the transfer succeeded; nullopt when the driver call itself
  // fails (the fault pulled the key, or the key left the bus meanwhile).
  struct Settled {
    std::size_t moved;
    bool ok;
  };
  std::optional<Settled> settleTransfer(std::unique_lock<std::mutex>& lock,
                                        usb::DriverHandle handle, const Exchange& e,
                                        std::span<std::uint8_t> record, std::size_t size);
  // Lets the key's answer take its time; false when the key left the bus meanwhile.
  bool keyWorks(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle, std::uint32_t ms);
  void waitOnClock(std::unique_lock<std::mutex>& lock, std::uint32_t ms);

  usb::Clock& clock_;
  VirtualKey& key_;
  Trace* trace_;

  std::mutex mutex_;
  std::uint32_t lastTick_;
  std::uint64_t now_ = 0;
  std::vector<Member> members_;
  std::vector<Member> snapshot_;
  bool searching_ = false;
  bool classQueryFails_ = false;
  bool held_ = false;
  std::uint16_t architecture_ = 0;
  bool present_ = false;
  bool pulled_ = false;  // a plug after this is a power cycle
  std::uint64_t generation_ = 0;
  std::vector<Scheduled> schedule_;
  std::map<usb::DriverHandle, Handle> handles_;
  usb::DriverHandle nextHandle_ = 1;
  FaultPlan faults_;
  bool malformedDescriptor_ = false;
  DescriptorHook descriptorHook_;
  InHook inHook_;
  std::string lastRejection_;
};

}  // namespace flashwell::emulator
