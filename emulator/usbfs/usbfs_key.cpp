#include "emulator/usbfs/usbfs_key.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace flashwell::emulator::usbfs {

UsbfsKey::UsbfsKey(VirtualKey& key, Trace* trace, UsbfsKeyOptions options)
    : key_(key),
      trace_(trace),
      options_(std::move(options)),
      testbed_(umockdev_testbed_new()),
      start_(std::chrono::steady_clock::now()) {
  if (testbed_ == nullptr) throw std::runtime_error("umockdev: no testbed");
}

UsbfsKey::~UsbfsKey() {
  // The testbed goes first: it lets go of the handlers' sockets before they are freed.
  g_object_unref(testbed_);
  for (auto& node : nodes_) {
    for (Urb& u : node->urbs) {
      if (u.buffer) umockdev_ioctl_data_unref(u.buffer);
      umockdev_ioctl_data_unref(u.urb);
    }
    g_object_unref(node->handler);
  }
}

std::uint64_t UsbfsKey::elapsedMs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

std::uint64_t UsbfsKey::nowMs() const {
  return elapsedMs();
}

void UsbfsKey::addFaults(const std::vector<Fault>& faults) {
  std::lock_guard lock(mutex_);
  faults_.add(faults);
}

std::map<std::string, std::uint64_t> UsbfsKey::ioctlCounts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

std::uint64_t UsbfsKey::foreignRequests() const {
  std::lock_guard lock(mutex_);
  return foreignRequests_;
}

std::uint32_t UsbfsKey::keyArrivals() const {
  std::lock_guard lock(mutex_);
  return arrivals_;
}

std::string UsbfsKey::keyNode() const {
  std::lock_guard lock(mutex_);
  return keyNode_ ? devNode(keyNode_->device.devnum) : std::string();
}

KeyImage UsbfsKey::keyImage() const {
  std::lock_guard lock(mutex_);
  return key_.image();
}

// --- the bus -----------------------------------------------------------------------------------

std::unique_ptr<UsbfsKey::Node> UsbfsKey::makeNode(SysfsDevice device, bool isKey) {
  auto node = std::make_unique<Node>();
  node->owner = this;
  node->device = std::move(device);
  node->isKey = isKey;
  node->configured = node->device.configured;
  if (isKey) node->driver = options_.kernelDriver;
  node->handler = umockdev_ioctl_base_new();
  g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(&UsbfsKey::onIoctl), node.get());
  return node;
}

// Outside the lock: the testbed's calls may wait for umockdev's worker thread, which may be
// waiting for the lock in a handler.
void UsbfsKey::arrive(Node& node) {
  // Nothing opens the root hub; it is there as the devices' parent.
  if (node.device.sysPath != rootHub().sysPath) {
    umockdev_testbed_attach_ioctl(testbed_, devNode(node.device.devnum).c_str(), node.handler,
                                  nullptr);
  }
  umockdev_testbed_add_from_string(testbed_, testbedText(node.device).c_str(), nullptr);
}

void UsbfsKey::leave(Node& node) {
  // The add event is sent by the testbed, the remove event is not; libusb's device list follows
  // the events, not sysfs.
  const std::string sys = "/sys" + node.device.sysPath;
  umockdev_testbed_uevent(testbed_, sys.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_, sys.c_str());
}

void UsbfsKey::plugIn() {
  std::vector<Node*> present;
  {
    std::lock_guard lock(mutex_);
    nodes_.push_back(makeNode(rootHub(), false));
    present.push_back(nodes_.back().get());
    if (options_.foreignDevice) {
      nodes_.push_back(makeNode(foreignDevice(nextDevnum_++), false));
      nodes_.back()->driver = "usb-storage";
      present.push_back(nodes_.back().get());
    }
    nodes_.push_back(
        makeNode(keyDevice(nextDevnum_++, key_.descriptorSet(), !options_.unconfigured), true));
    keyNode_ = nodes_.back().get();
    present.push_back(keyNode_);
    ++arrivals_;
    if (trace_) trace_->plug(elapsedMs());
  }
  for (Node* node : present) arrive(*node);
}

void UsbfsKey::pullLocked(Node& node, std::uint64_t at) {
  if (node.gone) return;
  node.gone = true;
  if (keyNode_ == &node) keyNode_ = nullptr;
  // Whatever is still in flight ends as the kernel ends it when a device goes.
  for (Urb& u : node.urbs) {
    if (u.readyAt > at) {
      u.readyAt = at;
      u.status = -ESHUTDOWN;
      u.actual = 0;
      u.in.clear();
    }
  }
  if (trace_) trace_->unplug(at);
}

bool UsbfsKey::eventsPending() const {
  std::lock_guard lock(mutex_);
  return !schedule_.empty();
}

void UsbfsKey::service() {
  std::vector<Node*> leaving;
  std::vector<Node*> arriving;
  {
    std::lock_guard lock(mutex_);
    const std::uint64_t now = elapsedMs();
    std::sort(schedule_.begin(), schedule_.end(),
              [](const Scheduled& a, const Scheduled& b) { return a.atMs < b.atMs; });
    while (!schedule_.empty() && schedule_.front().atMs <= now) {
      const Scheduled event = schedule_.front();
      schedule_.erase(schedule_.begin());
      if (event.what == Scheduled::What::unplug) {
        // The host's side of the node has gone already; what is left is telling the system.
        if (keyNode_) pullLocked(*keyNode_, event.atMs);
        for (auto& node : nodes_) {
          if (node->isKey && node->gone && !node->removed) {
            node->removed = true;
            leaving.push_back(node.get());
          }
        }
        if (event.backAfterMs) {
          schedule_.push_back({event.atMs + *event.backAfterMs,
                               Scheduled::What::plugAfterPowerCycle, std::nullopt});
        }
        continue;
      }
      if (keyNode_) continue;
      if (event.what == Scheduled::What::plugAfterRestart) key_.bootAfterRestart();
      if (event.what == Scheduled::What::plugAfterPowerCycle) key_.bootAfterPowerCycle();
      nodes_.push_back(
          makeNode(keyDevice(nextDevnum_++, key_.descriptorSet(), !options_.unconfigured), true));
      keyNode_ = nodes_.back().get();
      ++arrivals_;
      if (trace_) trace_->plug(event.atMs);
      arriving.push_back(keyNode_);
    }
  }
  for (Node* node : leaving) leave(*node);
  for (Node* node : arriving) arrive(*node);
}

}  // namespace flashwell::emulator::usbfs
