// The calibration journal: a write-back cut off at any request after the module
// has taken it (as a crashed or killed host would leave it) loses nothing; the
// next write-back on the same module, from a fresh library, puts NVRAM back
// byte for byte, and another module on the port gets nothing of it.
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>

#include "lib/calstore.h"
#include "lib/port_state.h"
#include "module_fixture.h"
#include "sim/firmware_nvram.h"
#include "state_dir.h"

namespace ebd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Items = std::map<uint16_t, Bytes>;

constexpr uint32_t kModuleA = 0x12345678;
constexpr uint32_t kModuleB = 0x0BADCAFE;
const char* const kJournalA = "cal-12345678.journal";

class Journal : public ModuleFixture {
protected:
    bool startInSetUp() const override { return false; }
    void install(sim::Firmware& firmware) override { sim::InstallNvramHandlers(firmware, current); }

    void SetUp() override {
        ModuleFixture::SetUp();
        TempStateDir::Set(dir.string().c_str());
        moduleA->calibrationItems = before;
        moduleB->calibrationItems = {{3, {0xB3}}, {25, {0xB5}}};
        plugIn(moduleA, kModuleA);
        const std::array<uint16_t, 26> agc{0x1111, 0x2222};
        ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
        ASSERT_EQ(WOrreryStoreCalibrationDataAFC(handle, 7, 9), 1);
        // What the module holds once the call is through; item 2 is new, so
        // only a call that wrote it (or a host that still has it marked) puts
        // it there. Item 0 was in NVRAM: the journal holds its new record.
        replaced = before;
        replaced[0] = record(0);
        marked = replaced;
        marked[2] = record(2);
    }

    // A freshly powered module on COM1 with the NVRAM `memory` and the flash
    // serial number `serial`, and a session on it.
    void plugIn(std::shared_ptr<sim::NvramMemory> memory, uint32_t serial) {
        if (handle != 0) WComClose(handle);
        handle = 0;
        current = std::move(memory);
        ModuleDouble::Settings settings;
        settings.start = ModuleDouble::State::Nomi;
        sim::Firmware::Config config;
        config.flashSerialNumber = serial;
        startModule(settings, config);
        ASSERT_NE(handle, 0u);
        pastVersionGate();
    }
    // What a new process finds: a library initialised again, nothing marked.
    void restartHost(std::shared_ptr<sim::NvramMemory> memory, uint32_t serial) {
        WComClose(handle);
        handle = 0;
        WInitLibrary();
        plugIn(std::move(memory), serial);
    }
    static Bytes record(uint8_t id) {
        std::array<uint8_t, calstore::kMaxRecordSize> image{};
        const size_t size = calstore::ItemImage(1, id, image.data());
        return Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
    }
    Bytes fileBytes(const char* name) const {
        std::ifstream in(dir / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir / name); }
    // The host dies as the module takes the nth request `id`: the module hears
    // nothing more, and the state directory stays as it was at that moment.
    void dieAt(uint16_t id, int nth) {
        int seen = 0;
        std::optional<Bytes> then;
        current->afterCalibrationChange = [&](const sim::Request& r) {
            if (r.commandId != id || ++seen != nth) return;
            module().settings().silentFromNs = 0;
            if (exists(kJournalA)) then = fileBytes(kJournalA);
        };
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 0);
        current->afterCalibrationChange = nullptr;
        ASSERT_GE(seen, nth);
        std::filesystem::remove(dir / kJournalA);
        if (then)
            std::ofstream(dir / kJournalA, std::ios::binary)
                .write(reinterpret_cast<const char*>(then->data()),
                       static_cast<std::streamsize>(then->size()));
    }
    int writes() const {
        int n = 0;
        for (const auto& r : module().requests()) n += r.commandId == 59 ? 1 : 0;
        return n;
    }

    // The library makes the state directory itself, inside one of the test's own.
    TempStateDir stateDir;
    const std::filesystem::path dir = stateDir.path() / "ebd";
    std::shared_ptr<sim::NvramMemory> moduleA = std::make_shared<sim::NvramMemory>();
    std::shared_ptr<sim::NvramMemory> moduleB = std::make_shared<sim::NvramMemory>();
    std::shared_ptr<sim::NvramMemory> current;
    // Item 0 is replaced by the marked record; 3, 9 and 18 are rescued; 25 is
    // one of the module's other items, kept aside by the module itself.
    const Items before{{0, {0xEE}}, {3, Bytes(20, 0x33)}, {9, {9}}, {18, {1, 2, 3, 4}}, {25, {25}}};
    Items replaced;
    Items marked;
};

TEST_F(Journal, AHostCutOffAtAnyRequestLosesNothingAndNoOtherModuleGetsIt) {
    struct CrashPoint {
        const char* what;
        uint16_t request;
        int nth;  // of that request id within the write-back
        bool erased;
        bool allWritten;
    };
    const std::vector<CrashPoint> points{
        {"save of the other items", 63, 1, false, false},
        {"erase", 61, 1, true, false},
        {"restore", 65, 1, true, false},
        {"first re-write", 59, 1, true, false},
        {"second re-write", 59, 2, true, false},
        {"last re-write", 59, 3, true, false},
        {"first marked write", 59, 4, true, false},
        {"last marked write", 59, 5, true, true},
    };
    for (const CrashPoint& point : points) {
        SCOPED_TRACE(point.what);
        ASSERT_NO_FATAL_FAILURE(SetUp());
        ASSERT_NO_FATAL_FAILURE(dieAt(point.request, point.nth));
        EXPECT_EQ(moduleA->calibrationItems.count(3) == 0, point.erased && point.request != 59);
        ASSERT_EQ(exists(kJournalA), point.erased);
        const Bytes journal = fileBytes(kJournalA);
#ifndef _WIN32
        using std::filesystem::perms;
        const perms others = perms::group_write | perms::others_write;
        if (point.erased) {
            EXPECT_EQ(std::filesystem::status(dir).permissions() & others, perms::none);
            EXPECT_EQ(std::filesystem::status(dir / kJournalA).permissions() & others, perms::none);
        }
#endif

        // Another module on the port: none of the journal's bytes, the journal untouched.
        restartHost(moduleB, kModuleB);
        const Items otherBefore = moduleB->calibrationItems;
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
        EXPECT_EQ(moduleB->calibrationItems, otherBefore);
        EXPECT_EQ(writes(), 0);
        EXPECT_EQ(fileBytes(kJournalA), journal);
        EXPECT_EQ(has(std::string("(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal ") + kJournalA +
                      " of another module left untouched"),
                  point.erased);

        // The first module back, in yet another process: NVRAM as the cut-off
        // call would have left it, byte for byte.
        restartHost(moduleA, kModuleA);
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
        EXPECT_EQ(moduleA->calibrationItems, point.allWritten ? marked
                                             : point.erased   ? replaced
                                                              : before)
            << dump();
        EXPECT_FALSE(exists(kJournalA));
        // Nothing is owed any more: the next call talks to nobody.
        module().clearRecords();
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1);
        EXPECT_TRUE(module().requests().empty());
        TearDown();
    }
}

TEST_F(Journal, RefusalsEndTheCallWithTheirCodeAndLoseNothing) {
    struct Refusal {
        const char* what;
        int32_t resetFlag;
        uint16_t request;  // refused with status 1 (error 5); 0: the state directory is unusable
        const char* failure;
        uint16_t error;
        bool erased;
    };
    const std::string prefix = "(EBD ) WWriteAllStoredValuesToModuleNVRAM: ";
    const std::vector<Refusal> refusals{
        {"save", 0, 63, "WSaveAllOtherNVRAMCalibrationItems fails with error 5", 5, false},
        {"restore", 0, 65, "WRestoreAllOtherNVRAMCalibrationItems fails with error 5", 5, true},
        {"erase of a reset", 1, 61, "WEraseAllNVRAMCalibrationItems fails with error 5", 5, false},
        {"journal", 0, 0, "journal cal-12345678.journal cannot be written, nothing erased", EBD_ERR_JOURNAL,
         false},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        ASSERT_NO_FATAL_FAILURE(SetUp());
        const auto unusable = dir / "missing" / "state";
        TempStateDir::Set(refusal.request == 0 ? unusable.string().c_str() : dir.string().c_str());
        if (refusal.request != 0) module().firmware().refuse(refusal.request, 1);
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, refusal.resetFlag), 0);
        EXPECT_EQ(lines.back(), prefix + refusal.failure) << dump();
        EXPECT_EQ(WGetLastError(handle), refusal.error);
        EXPECT_EQ(LibPort(handle).storedCalibrationItems, 0x5u) << "the marks stay for the next call";
        // Nothing erased, or (the restore refused) the rescued items back and
        // the replaced one waiting in the journal with the module's others.
        Items now = before;
        if (refusal.erased) {
            now.erase(0);
            now.erase(25);
        }
        EXPECT_EQ(moduleA->calibrationItems, now);
        EXPECT_EQ(exists(kJournalA), refusal.erased);

        // Accepted again, the next call completes the work.
        TempStateDir::Set(dir.string().c_str());
        module().firmware().refuse(refusal.request, 0);
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, refusal.resetFlag), 1) << dump();
        if (refusal.resetFlag == 0) {
            EXPECT_EQ(moduleA->calibrationItems, marked);
        }
        EXPECT_FALSE(exists(kJournalA));
        TearDown();
    }
}

TEST_F(Journal, ADamagedEntryIsKeptAsideAndNeverApplied) {
    struct Damage {
        const char* what;
        std::function<void(Bytes&)> apply;
    };
    const std::vector<Damage> damages{
        {"a flipped bit in an item", [](Bytes& b) { b[30] ^= 0x10; }},
        {"a flipped bit in the header", [](Bytes& b) { b[11] ^= 0x01; }},
        {"cut short", [](Bytes& b) { b.resize(b.size() - 3); }},
        {"a byte too many", [](Bytes& b) { b.push_back(0); }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        ASSERT_NO_FATAL_FAILURE(SetUp());
        // Cut off after the erase, then the entry is damaged on disk.
        ASSERT_NO_FATAL_FAILURE(dieAt(61, 1));
        Bytes journal = fileBytes(kJournalA);
        ASSERT_GT(journal.size(), 40u);
        damage.apply(journal);
        std::ofstream(dir / kJournalA, std::ios::binary)
            .write(reinterpret_cast<const char*>(journal.data()),
                   static_cast<std::streamsize>(journal.size()));

        restartHost(moduleA, kModuleA);
        const Items erased = moduleA->calibrationItems;
        EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
        EXPECT_EQ(moduleA->calibrationItems, erased) << "nothing of it written";
        EXPECT_TRUE(has(std::string("(EBD ) WWriteAllStoredValuesToModuleNVRAM: journal ") + kJournalA +
                        " damaged, not applied, kept as " + kJournalA + ".damaged"))
            << dump();
        EXPECT_EQ(fileBytes("cal-12345678.journal.damaged"), journal);
        EXPECT_FALSE(exists(kJournalA));
        std::filesystem::remove(dir / "cal-12345678.journal.damaged");
        TearDown();
    }
}

TEST_F(Journal, AnOwedItemTheNextCallReplacesComesBackWithItsNewValue) {
    ASSERT_NO_FATAL_FAILURE(dieAt(61, 1));
    // The next host stores another value of item 0 and dies right after writing it.
    restartHost(moduleA, kModuleA);
    const std::array<uint16_t, 26> agc{0x3333};
    ASSERT_EQ(WOrreryStoreCalibrationDataAGCGainWords(handle, 0, agc.data()), 1);
    const Bytes newValue = record(0);
    ASSERT_NE(newValue, replaced.at(0));
    ASSERT_NO_FATAL_FAILURE(dieAt(59, 4));
    EXPECT_EQ(moduleA->calibrationItems.at(0), newValue);

    restartHost(moduleA, kModuleA);
    EXPECT_EQ(WWriteAllStoredValuesToModuleNVRAM(handle, 0), 1) << dump();
    Items expected = replaced;
    expected[0] = newValue;
    EXPECT_EQ(moduleA->calibrationItems, expected) << "never the value of the first call";
}

}  // namespace
}  // namespace ebd::test
