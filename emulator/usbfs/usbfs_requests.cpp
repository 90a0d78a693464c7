// The ioctls of usbdevfs as the virtual key's device node answers them: the capabilities, the
// claim of interface 0 (with the kernel driver that may hold it), the configuration, URBs
// submitted, reaped and discarded, and clearing a halted endpoint.

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "emulator/faulted_key.h"
#include "emulator/usbfs/usbfs_key.h"

namespace flashwell::emulator::usbfs {

namespace {

constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                        USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
constexpr std::uint8_t kDeviceToHost = 0x80;

const char* requestName(unsigned long request) {
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
      return "GET_CAPABILITIES";
    case USBDEVFS_CLAIMINTERFACE:
      return "CLAIMINTERFACE";
    case USBDEVFS_RELEASEINTERFACE:
      return "RELEASEINTERFACE";
    case USBDEVFS_DISCONNECT_CLAIM:
      return "DISCONNECT_CLAIM";
    case USBDEVFS_IOCTL:
      return "IOCTL";
    case USBDEVFS_GETDRIVER:
      return "GETDRIVER";
    case USBDEVFS_SETCONFIGURATION:
      return "SETCONFIGURATION";
    case USBDEVFS_SUBMITURB:
      return "SUBMITURB";
    case USBDEVFS_REAPURB:
      return "REAPURB";
    case USBDEVFS_REAPURBNDELAY:
      return "REAPURBNDELAY";
    case USBDEVFS_DISCARDURB:
      return "DISCARDURB";
    case USBDEVFS_CLEAR_HALT:
      return "CLEAR_HALT";
    case USBDEVFS_RESET:
      return "RESET";
    case USBDEVFS_RESETEP:
      return "RESETEP";
    default:
      return "other";
  }
}

// The argument of an ioctl that takes a pointer to a value of type T, copied in.
template <typename T>
UMockdevIoctlData* resolveArg(UMockdevIoctlData* arg) {
  return umockdev_ioctl_data_resolve(arg, 0, sizeof(T), nullptr);
}

// The value of type T that an ioctl's argument points to, or `missing` when it cannot be read.
template <typename T>
T readArg(UMockdevIoctlData* arg, T missing) {
  UMockdevIoctlData* d = resolveArg<T>(arg);
  if (d == nullptr) return missing;
  T value{};
  std::memcpy(&value, d->data, sizeof value);
  umockdev_ioctl_data_unref(d);
  return value;
}

unsigned readUnsigned(UMockdevIoctlData* arg) {
  return readArg<unsigned>(arg, ~0u);
}

}  // namespace

int UsbfsKey::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* node) {
  auto* n = static_cast<Node*>(node);
  n->owner->handle(*n, client);
  return TRUE;
}

void UsbfsKey::handle(Node& node, UMockdevIoctlClient* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  int error = 0;
  {
    std::lock_guard lock(mutex_);
    error = node.isKey ? answerKey(node, request, arg) : answerForeign(request, arg);
  }
  umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
}

int UsbfsKey::answerKey(Node& node, unsigned long request, UMockdevIoctlData* arg) {
  ++counts_[requestName(request)];
  int error = 0;
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
      if (node.gone) {
        error = ENODEV;
      } else if (UMockdevIoctlData* d = resolveArg<std::uint32_t>(arg)) {
        std::memcpy(d->data, &kCapabilities, sizeof kCapabilities);
        umockdev_ioctl_data_unref(d);
      }
      break;
    case USBDEVFS_CLAIMINTERFACE:
      error = claim(node, readUnsigned(arg), false);
      break;
    case USBDEVFS_DISCONNECT_CLAIM: {
      const auto dc = readArg<usbdevfs_disconnect_claim>(arg, {});
      error = claim(node, dc.interface, true);
      break;
    }
    case USBDEVFS_RELEASEINTERFACE:
      if (node.claimed.erase(readUnsigned(arg)) == 0) {
        error = node.gone ? ENODEV : EINVAL;
      } else if (trace_) {
        trace_->close(elapsedMs());
      }
      break;
    case USBDEVFS_GETDRIVER: {
      UMockdevIoctlData* d = resolveArg<usbdevfs_getdriver>(arg);
      if (node.gone) {
        error = ENODEV;
      } else if (node.driver.empty() || d == nullptr) {
        error = ENODATA;
      } else {
        auto* g = reinterpret_cast<usbdevfs_getdriver*>(d->data);
        std::strncpy(g->driver, node.driver.c_str(), sizeof g->driver - 1);
      }
      if (d) umockdev_ioctl_data_unref(d);
      break;
    }
    case USBDEVFS_IOCTL: {
      const auto io = readArg<usbdevfs_ioctl>(arg, {});
      if (node.gone) {
        error = ENODEV;
      } else if (io.ioctl_code == USBDEVFS_CONNECT) {
        // Given back to its kernel driver once the host lets go.
        if (node.claimed.empty()) node.driver = options_.kernelDriver;
      } else if (io.ioctl_code == USBDEVFS_DISCONNECT) {
        if (node.driver.empty()) {
          error = ENODATA;
        } else if (!options_.driverDetachable) {
          error = EACCES;
        } else {
          node.driver.clear();
        }
      } else {
        error = ENOTTY;
      }
      break;
    }
    case USBDEVFS_SETCONFIGURATION: {
      const unsigned value = readUnsigned(arg);
      if (node.gone) {
        error = ENODEV;
      } else if (!node.claimed.empty()) {
        error = EBUSY;
      } else if (value > 1) {
        error = EINVAL;
      } else {
        node.configured = value == 1;
        umockdev_testbed_set_attribute(testbed_, ("/sys" + node.device.sysPath).c_str(),
                                       "bConfigurationValue", node.configured ? "1\n" : "");
      }
      break;
    }
    case USBDEVFS_SUBMITURB:
      error = submit(node, arg);
      break;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      // Never blocks: the worker thread answers every node.
      error = reap(node, arg);
      break;
    case USBDEVFS_DISCARDURB:
      error = discard(node, arg);
      break;
    case USBDEVFS_CLEAR_HALT:
      if (node.gone) {
        error = ENODEV;
      } else {
        node.halted.erase(static_cast<std::uint8_t>(readUnsigned(arg)));
      }
      break;
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
      if (node.gone) error = ENODEV;
      break;
    default:
      error = ENOTTY;
      break;
  }
  return error;
}

// The foreign device is held by its own kernel driver; nothing of the key's tool should ever
// reach it, and everything that does is counted.
int UsbfsKey::answerForeign(unsigned long request, UMockdevIoctlData* arg) {
  ++foreignRequests_;
  if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) return EAGAIN;
  if (request != USBDEVFS_GET_CAPABILITIES) return EBUSY;
  UMockdevIoctlData* d = resolveArg<std::uint32_t>(arg);
  if (d == nullptr) return EFAULT;
  std::memcpy(d->data, &kCapabilities, sizeof kCapabilities);
  umockdev_ioctl_data_unref(d);
  return 0;
}

int UsbfsKey::claim(Node& node, unsigned interface, bool detach) {
  auto traceOpen = [&](bool ok) {
    if (trace_) trace_->open(elapsedMs(), devNode(node.device.devnum), ok);
  };
  if (node.gone) return ENODEV;
  int error = 0;
  if (!node.configured || interface != 0) {
    error = ENOENT;  // no such interface in configuration 0
  } else if (!node.driver.empty()) {
    // "usbfs" is another program's claim: no detaching takes that away.
    if (!detach || node.driver == "usbfs") {
      error = EBUSY;
    } else if (!options_.driverDetachable) {
      error = EACCES;
    } else {
      node.driver.clear();
    }
  }
  if (error == 0 && node.claimed.count(interface)) return 0;
  if (error == 0) {
    // The claim is the open of this door: the open faults strike here. A late open cannot be
    // had without blocking umockdev's worker, so it is let through at once.
    const Effect fault = FaultedKey(key_, faults_).open();
    if (fault.pulls) {
      traceOpen(false);
      pullLocked(node, elapsedMs());
      schedule_.push_back({elapsedMs(), Scheduled::What::unplug, fault.backAfterMs});
      return ENODEV;
    }
    if (fault.refused || fault.badStatus || fault.movesNothing) error = EIO;
  }
  if (error == 0) node.claimed.insert(interface);
  traceOpen(error == 0);
  return error;
}

int UsbfsKey::submit(Node& node, UMockdevIoctlData* arg) {
  if (node.gone) return ENODEV;
  UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  if (urbData == nullptr) return EFAULT;
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  if (urb->buffer_length < 0 ||
      (urb->type == USBDEVFS_URB_TYPE_CONTROL && urb->buffer_length < 8) ||
      (urb->type != USBDEVFS_URB_TYPE_CONTROL && urb->type != USBDEVFS_URB_TYPE_BULK &&
       urb->type != USBDEVFS_URB_TYPE_INTERRUPT)) {
    umockdev_ioctl_data_unref(urbData);
    return EINVAL;
  }
  Urb u;
  u.urb = urbData;
  if (urb->buffer_length > 0) {
    u.buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                           static_cast<gsize>(urb->buffer_length), nullptr);
    if (u.buffer == nullptr) {
      umockdev_ioctl_data_unref(urbData);
      return EFAULT;
    }
  }
  const std::span<std::uint8_t> buffer =
      u.buffer
          ? std::span<std::uint8_t>(u.buffer->data, static_cast<std::size_t>(u.buffer->data_len))
          : std::span<std::uint8_t>();
  answerTransfer(node, u, urb->type, urb->endpoint, buffer);
  node.urbs.push_back(std::move(u));
  return 0;
}

void UsbfsKey::answerTransfer(Node& node, Urb& u, unsigned char type, std::uint8_t endpoint,
                              std::span<std::uint8_t> buffer) {
  const std::uint64_t now = elapsedMs();
  u.readyAt = now;
  const bool control = type == USBDEVFS_URB_TYPE_CONTROL;
  const bool in = control ? (buffer[0] & kDeviceToHost) != 0 : (endpoint & kDeviceToHost) != 0;
  // A halted endpoint stalls every transfer until the host clears the halt.
  if (!control && node.halted.count(endpoint)) {
    u.status = -EPIPE;
    if (trace_ && in)
      trace_->in(now, false, endpoint, static_cast<std::uint32_t>(buffer.size()), {});
    if (trace_ && !in)
      trace_->out(now, false, endpoint, static_cast<std::uint32_t>(buffer.size()), buffer);
    return;
  }
  FaultedKey faulted(key_, faults_);
  Exchange e;
  std::array<std::uint8_t, 8> setup{};
  if (control) std::copy_n(buffer.begin(), setup.size(), setup.begin());
  const std::span<std::uint8_t> payload = control ? buffer.subspan(8) : buffer;
  if (control) {
    e = faulted.control(setup, in ? std::span<const std::uint8_t>() : payload);
  } else if (in) {
    e = faulted.read(endpoint, static_cast<std::uint32_t>(buffer.size()));
  } else {
    e = faulted.write(endpoint, buffer);
  }
  std::size_t moved = 0;
  if (e.effect.pulls) {
    u.status = -ESHUTDOWN;
    pullLocked(node, now);
    schedule_.push_back({now, Scheduled::What::unplug, e.effect.backAfterMs});
  } else {
    u.readyAt = now + e.answer.busyMs;
    if (!e.answer.accepted) {
      u.status = -EPIPE;
      if (e.effect.halts && !control) node.halted.insert(endpoint);
    } else if (e.effect.badStatus) {
      u.status = -EPROTO;
      moved = in ? std::min(e.answer.bytes.size(), payload.size()) : payload.size();
    } else if (!e.effect.movesNothing) {
      moved = in ? std::min(e.answer.bytes.size(), payload.size()) : payload.size();
    }
    if (in)
      u.in.assign(e.answer.bytes.begin(),
                  e.answer.bytes.begin() + static_cast<std::ptrdiff_t>(moved));
    u.actual = static_cast<int>(moved);
  }
  const bool ok = u.status == 0 && moved > 0;
  if (trace_) {
    if (control) {
      trace_->control(
          now, ok, setup,
          in ? std::span<const std::uint8_t>(u.in) : std::span<const std::uint8_t>(payload));
    } else if (in) {
      trace_->in(now, ok, endpoint, static_cast<std::uint32_t>(buffer.size()), u.in);
    } else {
      trace_->out(now, ok, endpoint, static_cast<std::uint32_t>(buffer.size()), buffer);
    }
  }
  if (control && e.answer.accepted && key_.takeRestart()) {
    // The key answers, then leaves the bus and comes back in the program it chose.
    schedule_.push_back({u.readyAt, Scheduled::What::unplug, std::nullopt});
    schedule_.push_back({u.readyAt + key_.timing().reenumerationMs,
                         Scheduled::What::plugAfterRestart, std::nullopt});
  }
}

int UsbfsKey::reap(Node& node, UMockdevIoctlData* arg) {
  const std::uint64_t now = elapsedMs();
  auto ready = node.urbs.end();
  for (auto it = node.urbs.begin(); it != node.urbs.end(); ++it) {
    if (it->readyAt <= now && (ready == node.urbs.end() || it->readyAt < ready->readyAt))
      ready = it;
  }
  if (ready == node.urbs.end()) return node.gone && node.urbs.empty() ? ENODEV : EAGAIN;
  Urb u = std::move(*ready);
  node.urbs.erase(ready);
  auto* urb = reinterpret_cast<usbdevfs_urb*>(u.urb->data);
  urb->status = u.status;
  urb->actual_length = u.actual;
  if (u.buffer && !u.in.empty()) {
    const bool control = urb->type == USBDEVFS_URB_TYPE_CONTROL;
    const std::size_t at = control ? 8 : 0;
    const std::size_t room = static_cast<std::size_t>(u.buffer->data_len) -
                             std::min<std::size_t>(at, u.buffer->data_len);
    std::copy_n(u.in.begin(), std::min(room, u.in.size()), u.buffer->data + at);
  }
  int error = 0;
  UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
  if (pointer == nullptr || !umockdev_ioctl_data_set_ptr(pointer, 0, u.urb)) error = EFAULT;
  if (pointer) umockdev_ioctl_data_unref(pointer);
  if (u.buffer) umockdev_ioctl_data_unref(u.buffer);
  umockdev_ioctl_data_unref(u.urb);
  return error;
}

int UsbfsKey::discard(Node& node, UMockdevIoctlData* arg) {
  // The argument is the URB's address in the host's memory.
  gulong address = 0;
  std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, arg->data_len));
  for (Urb& u : node.urbs) {
    if (u.urb->client_addr != address) continue;
    u.status = -ENOENT;
    u.actual = 0;
    u.in.clear();
    u.readyAt = 0;
    return 0;
  }
  return EINVAL;
}

}  // namespace flashwell::emulator::usbfs
