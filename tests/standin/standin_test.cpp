// The stand-in driver's key host: its configuration, the relay of records whose data buffer
// lies in another process, and the key's state kept from one run to the next.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "emulator/emulated_driver.h"
#include "emulator/standin/key_host.h"
#include "emulator/standin/record_relay.h"
#include "emulator/standin/standin_config.h"
#include "tests/support/key_bench.h"
#include "tests/support/program_run.h"
#include "usb/bytes.h"
#include "usb/transfer_request.h"

namespace flashwell::emulator::standin {
namespace {

namespace fs = std::filesystem;

TEST(StandinConfig, ReadsEverySettingAndNamesTheLineOfAMistake) {
  const auto config = parseStandinConfig(
      "# a run\n\nstate=booter\r\nkey-file = Z:\\tmp\\key.bin\ntrace=Z:\\t.jsonl\n"
      "records=Z:\\r.txt\nfault=erase-fails\nfault=out:late@3\nplugged=0\n",
      nullptr);
  ASSERT_TRUE(config);
  EXPECT_EQ(config->state, "booter");
  EXPECT_EQ(config->keyFile, "Z:\\tmp\\key.bin");
  EXPECT_EQ(config->trace, "Z:\\t.jsonl");
  EXPECT_EQ(config->records, "Z:\\r.txt");
  EXPECT_EQ(config->faults, (std::vector<std::string>{"erase-fails", "out:late@3"}));
  EXPECT_FALSE(config->plugged);

  const auto defaults = parseStandinConfig("", nullptr);
  ASSERT_TRUE(defaults);
  EXPECT_EQ(defaults->state, "fresh");
  EXPECT_TRUE(defaults->plugged);
  EXPECT_FALSE(defaults->keyFile || defaults->trace || defaults->records);

  for (const auto& [text, line] :
       std::vector<std::pair<std::string, std::string>>{{"state=fresh\nstate=nosuch\n", "line 2:"},
                                                        {"fault=erase:melt\n", "line 1:"},
                                                        {"\nplugged=yes\n", "line 2:"},
                                                        {"colour=blue\n", "line 1:"},
                                                        {"trace=\n", "line 1:"},
                                                        {"state fresh\n", "line 1:"}}) {
    std::string why;
    EXPECT_FALSE(parseStandinConfig(text, &why)) << text;
    EXPECT_EQ(why.rfind(line, 0), 0u) << text << " -> " << why;
  }
}

// A caller's address space with one readable and writable block.
class FakeCaller final : public CallerMemory {
 public:
  FakeCaller(std::uint64_t base, std::size_t size) : base_(base), bytes_(size, 0) {}
  bool read(std::uint64_t address, std::span<std::uint8_t> into) override {
    if (!inside(address, into.size())) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(address - base_), into.size(),
                into.begin());
    ++reads;
    return true;
  }
  bool write(std::uint64_t address, std::span<const std::uint8_t> from) override {
    if (!inside(address, from.size())) return false;
    std::copy(from.begin(), from.end(),
              bytes_.begin() + static_cast<std::ptrdiff_t>(address - base_));
    ++writes;
    return true;
  }
  std::uint8_t* at(std::uint64_t address) { return &bytes_[address - base_]; }
  int reads = 0;
  int writes = 0;

 private:
  bool inside(std::uint64_t address, std::size_t size) const {
    return address >= base_ && address - base_ + size <= bytes_.size();
  }
  std::uint64_t base_;
  std::vector<std::uint8_t> bytes_;
};

constexpr std::uint64_t kCallerData = 0x7FF10000;

// The virtual key behind an emulated driver of the given width, opened.
struct Rig {
  explicit Rig(bool wide) : bench(support::namedKey("fresh")), caller(kCallerData, 4096) {
    driver.setNativeArchitecture(wide ? 9 : 0);
    handle = driver.openExclusive(kDefaultKeyPath).handle;
    layout = wide ? usb::RecordLayout::bits64 : usb::RecordLayout::bits32;
  }

  std::vector<std::uint8_t> record(usb::TransferKind kind, std::uint32_t length,
                                   const usb::SetupPacket& setup = {}) {
    usb::UsbTransferRequest r = usb::makeTransferRequest(kind, nullptr, length, setup);
    r.bufferAddress = static_cast<std::uint32_t>(kCallerData);
    if (layout == usb::RecordLayout::bits32) {
      const auto bytes = usb::encode32(r);
      return {bytes.begin(), bytes.end()};
    }
    const auto bytes = usb::encode64(r);
    return {bytes.begin(), bytes.end()};
  }

  RelayResult send(std::uint32_t code, std::vector<std::uint8_t>& record) {
    return relayRequest(driver, handle, code, record, record.size(), record.size(), caller, counts);
  }

  // A control transfer whose payload the caller holds at kCallerData.
  RelayResult control(std::uint8_t code, std::uint16_t wIndex,
                      const std::vector<std::uint8_t>& payload) {
    std::copy(payload.begin(), payload.end(), caller.at(kCallerData));
    const auto n = static_cast<std::uint8_t>(payload.size());
    const usb::SetupPacket setup{
        0x40, code, 0, 0, static_cast<std::uint8_t>(wIndex), static_cast<std::uint8_t>(wIndex >> 8),
        n,    0};
    last = record(usb::TransferKind::control, n, setup);
    return send(usb::kIoctlControlTransfer, last);
  }

  support::KeyBench bench;
  VirtualKey& key = *bench.key;
  EmulatedDriver& driver = *bench.driver;
  FakeCaller caller;
  RecordCounts counts;
  usb::DriverHandle handle = usb::kNoHandle;
  usb::RecordLayout layout = usb::RecordLayout::bits32;
  std::vector<std::uint8_t> last;
};

class Relay : public ::testing::TestWithParam<bool> {};

TEST_P(Relay, TheKeysAnswerReachesTheCallersBufferAndTheRecordKeepsItsAddress) {
  Rig rig(GetParam());
  const std::size_t size = GetParam() ? usb::kRecordSize64 : usb::kRecordSize32;
  // Identify, announce a 128-byte read, read it.
  ASSERT_TRUE(rig.control(14, 0, {7, 0, 0, 0, 0, 0}).completed) << rig.driver.lastRejection();
  ASSERT_TRUE(rig.control(12, 0x0471, {0, 0, 0, 128, 0, 1}).completed);
  std::vector<std::uint8_t> read = rig.record(usb::TransferKind::readEp2, 128);
  const std::vector<std::uint8_t> sent = read;
  const RelayResult r = rig.send(usb::kIoctlEndpointTransfer, read);
  ASSERT_TRUE(r.completed) << rig.driver.lastRejection();
  EXPECT_EQ(r.returned, size);

  const auto identity = rig.key.identityAnswer();
  EXPECT_TRUE(std::equal(identity.begin(), identity.end(), rig.caller.at(kCallerData)));
  // Only the result words changed: the address names the caller's buffer again.
  const usb::ResultOffsets at = usb::resultOffsets(rig.layout);
  EXPECT_EQ(usb::le32(read, at.bytesTransferred), 128u);
  EXPECT_EQ(usb::le32(read, at.status), usb::kTransferStatusSuccess);
  for (std::size_t i = 0; i < size; ++i) {
    if (i >= at.bytesTransferred && i < at.bytesTransferred + 4) continue;
    if (i >= at.status && i < at.status + 4) continue;
    EXPECT_EQ(read[i], sent[i]) << "byte " << i;
  }
  EXPECT_EQ(rig.counts.transferRecords, (std::map<std::size_t, std::uint64_t>{{size, 3}}));
  // The control transfers wrote nothing back; the read did, once.
  EXPECT_EQ(rig.caller.writes, 1);
}

TEST_P(Relay, ARecordOfTheOtherWidthIsRefusedByTheDriver) {
  Rig rig(GetParam());
  rig.layout = GetParam() ? usb::RecordLayout::bits32 : usb::RecordLayout::bits64;
  const RelayResult r = rig.control(14, 0, {7, 0, 0, 0, 0, 0});
  EXPECT_FALSE(r.completed);
  EXPECT_FALSE(r.callerMemoryFailed);
  EXPECT_EQ(rig.driver.lastRejection(), "record layout does not fit the system");
  EXPECT_EQ(rig.key.commandsSeen(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EachWidth, Relay, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Wide" : "Narrow"; });

TEST(Relay, BuffersOutsideTheCallerAndOddRecordsNeverReachTheKey) {
  Rig rig(false);
  std::vector<std::uint8_t> outside = rig.record(usb::TransferKind::readEp2, 64);
  usb::putLe32(outside, 16, 0x1000);
  RelayResult r = rig.send(usb::kIoctlEndpointTransfer, outside);
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.callerMemoryFailed);

  std::vector<std::uint8_t> huge = rig.record(usb::TransferKind::readEp2, 0xFFFFFFF0u);
  r = rig.send(usb::kIoctlEndpointTransfer, huge);
  EXPECT_TRUE(r.callerMemoryFailed);
  EXPECT_EQ(rig.caller.reads, 0);

  // A record of neither width goes to the driver as it came, which refuses and traces it.
  std::vector<std::uint8_t> odd(50, 0);
  r = rig.send(usb::kIoctlControlTransfer, odd);
  EXPECT_FALSE(r.completed);
  EXPECT_FALSE(r.callerMemoryFailed);
  EXPECT_EQ(rig.driver.lastRejection(), "record is neither 48 nor 56 bytes");
  EXPECT_EQ(rig.counts.transferRecords.at(50), 1u);
  EXPECT_EQ(rig.key.commandsSeen(), 0u);
}

TEST(Relay, TheDescriptorSetFillsNoMoreThanTheOutputRoom) {
  Rig rig(false);
  std::vector<std::uint8_t> buffer(256, 0xAA);
  RelayResult r = relayRequest(rig.driver, rig.handle, usb::kIoctlReadDescriptors, buffer, 256, 256,
                               rig.caller, rig.counts);
  ASSERT_TRUE(r.completed);
  const auto set = rig.key.descriptorSet();
  EXPECT_EQ(r.returned, set.size());
  EXPECT_TRUE(std::equal(set.begin(), set.end(), buffer.begin()));
  // Too little room: the driver refuses rather than writing past it.
  r = relayRequest(rig.driver, rig.handle, usb::kIoctlReadDescriptors, buffer, 256, 16, rig.caller,
                   rig.counts);
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(rig.counts.descriptorRequests, 2u);
}

class Host : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return (scratch_ / name).string(); }
  support::Scratch scratch_;
};

TEST_F(Host, InterfacePathIsTheListedFormOfTheKernelsLink) {
  EXPECT_EQ(KeyHost::interfacePathOfLink(
                "\\??\\ROOT#VID_5F3A&PID_1001#0000#{6B2D9C41-0E7A-4F35-9A1C-52D7E08B3F64}"),
            "\\\\?\\root#vid_5f3a&pid_1001#0000#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}");
}

TEST_F(Host, TheKeyIsSavedAndTakenUpAgainAndTheCountsWritten) {
  StandinConfig config;
  config.state = "booter";
  config.keyFile = path("key.bin");
  config.trace = path("trace.jsonl");
  config.records = path("records.txt");
  std::ostringstream log;
  std::string why;
  {
    auto host = KeyHost::start(config, &log, &why);
    ASSERT_TRUE(host) << why;
    host->setInterfaceLink("\\??\\ROOT#VID_5F3A&PID_1001#0000#{X}");
    const usb::OpenResult open = host->open();
    ASSERT_EQ(open.error, usb::kErrorSuccess);
    // A second open of the key is refused as busy.
    EXPECT_EQ(host->open().error, usb::kErrorNoAccess);
    FakeCaller caller(kCallerData, 64);
    std::vector<std::uint8_t> odd(40, 0);
    EXPECT_FALSE(
        host->request(open.handle, usb::kIoctlControlTransfer, odd, 40, 40, caller).completed);
    host->close(open.handle);
    ASSERT_TRUE(host->finish(&why)) << why;
  }
  EXPECT_NE(log.str().find("record is neither 48 nor 56 bytes"), std::string::npos) << log.str();
  std::ifstream records(path("records.txt"));
  std::stringstream text;
  text << records.rdbuf();
  EXPECT_EQ(text.str(), "40 1\ndescriptor 0\n");
  std::ifstream trace(path("trace.jsonl"));
  std::string first;
  std::getline(trace, first);
  EXPECT_EQ(first, R"({"t":0,"ev":"plug"})");

  // The next run starts from the saved booter, whatever state it names.
  config.state = "fresh";
  auto again = KeyHost::start(config, nullptr, &why);
  ASSERT_TRUE(again) << why;
  EXPECT_EQ(fs::file_size(path("key.bin")) > 0, true);
  std::ofstream(path("key.bin"), std::ios::trunc) << "not a key";
  EXPECT_FALSE(KeyHost::start(config, nullptr, &why));
  EXPECT_NE(why.find("key.bin"), std::string::npos) << why;
}

TEST_F(Host, TheWatcherSeesTheKeyLeaveAndComeBack) {
  StandinConfig config;
  config.plugged = false;
  std::string why;
  auto host = KeyHost::start(config, nullptr, &why);
  ASSERT_TRUE(host) << why;
  EXPECT_FALSE(host->present());
  EXPECT_EQ(host->open().error, kErrorFileNotFound);
  std::mutex mutex;
  std::vector<bool> seen;
  host->watch(
      [&](bool present) {
        std::lock_guard lock(mutex);
        seen.push_back(present);
      },
      5);
  auto waitFor = [&](std::size_t n) {
    for (int i = 0; i < 400; ++i) {
      {
        std::lock_guard lock(mutex);
        if (seen.size() >= n) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  };
  host->plug();
  ASSERT_TRUE(waitFor(1));
  host->unplug();
  ASSERT_TRUE(waitFor(2));
  std::lock_guard lock(mutex);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace flashwell::emulator::standin
