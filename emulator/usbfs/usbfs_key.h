#pragma once

// The virtual key presented at the kernel's usbdevfs interface through umockdev: a program
// started under umockdev-wrapper with this process's UMOCKDEV_DIR finds the key in sysfs, opens
// its device node and talks to it through the system's libusb, unchanged. Every ioctl on the
// node is answered here, on umockdev's worker thread; transfers reach the key through the same
// fault list as the emulated driver's, complete after the time the key takes (at real pace),
// and are traced at the key's side. A restart or a pulled key is a real unplug and replug: a
// remove and an add event, and the key comes back under a new device number.

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "emulator/faults.h"
#include "emulator/trace.h"
#include "emulator/usbfs/sysfs_device.h"
#include "emulator/virtual_key.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace flashwell::emulator::usbfs {

struct UsbfsKeyOptions {
  bool foreignDevice = false;  // a mass-storage device of the key's vendor, before the key
  bool unconfigured = false;   // the key comes up in configuration 0
  std::string kernelDriver;    // a kernel driver bound to the key's interface, "" for none
  bool driverDetachable = true;
};

class UsbfsKey {
 public:
  // Creates the testbed; from here on UMOCKDEV_DIR names it, for this process and the programs
  // it starts. Nothing in the process may ask umockdev whether it runs mocked before this.
  UsbfsKey(VirtualKey& key, Trace* trace, UsbfsKeyOptions options = {});
  ~UsbfsKey();
  UsbfsKey(const UsbfsKey&) = delete;
  UsbfsKey& operator=(const UsbfsKey&) = delete;

  void addFaults(const std::vector<Fault>& faults);
  // The root hub, the foreign device (when asked) and the key arrive on the bus.
  void plugIn();
  // Pulls and plugs whatever is due. Call it every few milliseconds from one thread.
  void service();
  // Whether the key is still to leave or come back on its own (a restart under way).
  bool eventsPending() const;

  std::uint64_t nowMs() const;
  // ioctls answered, by name ("SUBMITURB", "REAPURBNDELAY", ...), over every node of the key.
  std::map<std::string, std::uint64_t> ioctlCounts() const;
  // Requests of any kind that reached the foreign device.
  std::uint64_t foreignRequests() const;
  // How often the key has arrived on the bus, and its device node now ("" while away).
  std::uint32_t keyArrivals() const;
  std::string keyNode() const;
  // The key's memory as it stands, taken while no request is being answered.
  KeyImage keyImage() const;

 private:
  // One device node and everything the host has in flight on it.
  struct Urb {
    UMockdevIoctlData* urb = nullptr;
    UMockdevIoctlData* buffer = nullptr;  // none for a transfer without data
    std::uint64_t readyAt = 0;
    int status = 0;
    int actual = 0;
    std::vector<std::uint8_t> in;  // the bytes an in transfer returns
  };
  struct Node {
    UsbfsKey* owner = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    SysfsDevice device;
    bool isKey = false;
    bool gone = false;     // off the bus for the host's requests
    bool removed = false;  // and the system has been told
    bool configured = true;
    std::set<unsigned> claimed;
    std::set<std::uint8_t> halted;
    std::string driver;  // the kernel driver bound to interface 0
    std::deque<Urb> urbs;
  };
  struct Scheduled {
    std::uint64_t atMs;
    enum class What { unplug, plugAfterRestart, plugAfterPowerCycle } what;
    std::optional<std::uint32_t> backAfterMs;  // with kUnplug: the key comes back this much later
  };

  static int onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* node);
  void handle(Node& node, UMockdevIoctlClient* client);
  int answerKey(Node& node, unsigned long request, UMockdevIoctlData* arg);
  int answerForeign(unsigned long request, UMockdevIoctlData* arg);
  int claim(Node& node, unsigned interface, bool detach);
  int submit(Node& node, UMockdevIoctlData* arg);
  int reap(Node& node, UMockdevIoctlData* arg);
  int discard(Node& node, UMockdevIoctlData* arg);
  void answerTransfer(Node& node, Urb& u, unsigned char type, std::uint8_t endpoint,
                      std::span<std::uint8_t> buffer);
  void pullLocked(Node& node, std::uint64_t at);
  std::unique_ptr<Node> makeNode(SysfsDevice device, bool isKey);
  void arrive(Node& node);
  void leave(Node& node);
  std::uint64_t elapsedMs() const;

  VirtualKey& key_;
  Trace* trace_;
  UsbfsKeyOptions options_;
  UMockdevTestbed* testbed_ = nullptr;
  std::chrono::steady_clock::time_point start_;

  mutable std::mutex mutex_;
  FaultPlan faults_;
  std::vector<std::unique_ptr<Node>> nodes_;  // never dropped: a host may hold any node open
  Node* keyNode_ = nullptr;                   // the key's node while it is on the bus
  std::uint8_t nextDevnum_ = 2;
  std::uint32_t arrivals_ = 0;
  std::vector<Scheduled> schedule_;
  std::map<std::string, std::uint64_t> counts_;
  std::uint64_t foreignRequests_ = 0;
};

}  // namespace flashwell::emulator::usbfs
