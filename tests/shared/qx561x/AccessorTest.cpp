// SPDX-License-Identifier: MIT
// Accessors and enumerators over scratch directories and stand-in collaborators.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/qxerr/Exception.h"
#include "platform/qxqpxi/DynamicQPXILibrary.h"
#include "shared/qx561x/cDeviceEnumerator.h"
#include "shared/qx561x/cDevicePropertyAccessor.h"
#include "shared/qx561x/cEnumeratorFactory.h"
#include "shared/qx561x/cPortPropertyAccessor.h"
#include "tests/support/Failure.h"
#include "tests/support/TempDir.h"

using namespace qx561x;

namespace {

using qxtest::failure;

std::string u32(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// A driver directory for an RS-485 board (PCI-5611/4) at bus 3, device 0x0d, function 1.
struct DriverDirectory {
    qxtest::TempDir tree;
    DriverDirectory() {
        tree.write("busProperties/pciDeviceID", u32(0x7008));
        tree.write("busProperties/pciBusNumber", u32(3));
        tree.write("busProperties/pciDeviceNumber", u32(0x0d));
        tree.write("busProperties/pciFunctionNumber", u32(1));
        tree.write("busProperties/pciSlotPath", std::string("2", 2));
        tree.write("deviceProperties/serialNumber", std::string("1A2B3", 6));
    }
};

// Records what the accessor asks of the PXI library.
struct PxiLog {
    std::vector<uint32_t> sessionValues;
    std::vector<qxqpxi::PciAddress> addresses;
    std::vector<uint32_t> attributes;
    std::vector<qxqpxi::Handle> closed;
    bool destroyed = false;
};

class FakePxiLibrary : public qxqpxi::QPXILibrary {
public:
    FakePxiLibrary(PxiLog& log, bool knowsDevice) : log_(log), knowsDevice_(knowsDevice) {}
    ~FakePxiLibrary() override { log_.destroyed = true; }

    qxqpxi::Handle openPXISession(uint32_t value, qxerr::Status*) override {
        log_.sessionValues.push_back(value);
        return 11;
    }
    qxqpxi::Handle openDeviceByAddr(qxqpxi::Handle, const qxqpxi::PciAddress* address,
                                    qxerr::Status* status) override {
        log_.addresses.push_back(*address);
        if (knowsDevice_) return 22;
        qxerr::setCode(*status, qxerr::qxapalerr_resourceNotFound);
        return 0;
    }
    const char* getStringAttribute(qxqpxi::Handle, uint32_t attribute, qxerr::Status*) override {
        log_.attributes.push_back(attribute);
        return "Chassis 1 Slot 5";
    }
    void close(qxqpxi::Handle handle) override { log_.closed.push_back(handle); }

    qxqpxi::Handle openChassisByNumber(qxqpxi::Handle, uint32_t, qxerr::Status* s) override { return fail(s); }
    qxqpxi::Handle openSlotByNumber(qxqpxi::Handle, uint32_t, qxerr::Status* s) override { return fail(s); }
    qxqpxi::Handle openContainingItem(qxqpxi::Handle, uint32_t, qxerr::Status* s) override { return fail(s); }
    uint32_t getU32Attribute(qxqpxi::Handle, uint32_t, qxerr::Status* s) override { return static_cast<uint32_t>(fail(s)); }
    qxqpxi::Handle getItemContainer(qxqpxi::Handle, uint32_t, qxerr::Status* s) override { return fail(s); }
    qxqpxi::Handle duplicateItemContainer(qxqpxi::Handle, qxerr::Status* s) override { return fail(s); }
    qxqpxi::Position itemIteratorBegin(qxqpxi::Handle, qxerr::Status* s) override { return fail(s); }
    qxqpxi::Handle itemIteratorNextItem(qxqpxi::Handle, qxqpxi::Position*, qxerr::Status* s) override { return fail(s); }
    qxqpxi::Position itemIteratorEnd(qxqpxi::Handle, qxerr::Status* s) override { return fail(s); }
    void destroyItemContainer(qxqpxi::Handle) override {}
    qxqpxi::Handle duplicate(qxqpxi::Handle, qxerr::Status* s) override { return fail(s); }
    uint32_t waitForSessionInvalidation(qxqpxi::Handle, uint32_t, qxerr::Status* s) override { return static_cast<uint32_t>(fail(s)); }
    void cancelWaitForInvalidation(qxqpxi::Handle) override {}

private:
    static qxqpxi::Handle fail(qxerr::Status* status) {
        qxerr::setCode(*status, qxerr::qxapalerr_invalidParameter);
        return 0;
    }
    PxiLog& log_;
    bool knowsDevice_;
};

std::unique_ptr<cDevicePropertyAccessor> accessor(const DriverDirectory& dir,
                                                  std::unique_ptr<qxqpxi::QPXILibrary> library = {}) {
    return std::make_unique<cDevicePropertyAccessor>("/sys/devices/pci0000:00/0000:03:0d.1",
                                                     dir.tree.path(), std::move(library));
}

TEST(DeviceAccessorDescription, PxiAnswerReplacesTheSerialNumberText) {
    DriverDirectory dir;
    PxiLog log;
    auto board = accessor(dir, std::make_unique<FakePxiLibrary>(log, true));
    EXPECT_EQ(board->getDescription(), "Chassis 1 Slot 5");
    EXPECT_EQ(log.sessionValues, std::vector<uint32_t>{0});
    ASSERT_EQ(log.addresses.size(), 1u);
    EXPECT_EQ(log.addresses[0].segment, 0u);
    EXPECT_EQ(log.addresses[0].bus, 3u);
    EXPECT_EQ(log.addresses[0].device, 0x0du);
    EXPECT_EQ(log.addresses[0].function, 1u);
    EXPECT_EQ(log.attributes, std::vector<uint32_t>{0x3003});
    EXPECT_EQ(log.closed, (std::vector<qxqpxi::Handle>{22, 11}));
    board.reset();
    EXPECT_TRUE(log.destroyed);
}

TEST(DeviceAccessorDescription, FallsBackWhenPxiQueriesFail) {
    DriverDirectory dir;
    PxiLog log;
    EXPECT_EQ(accessor(dir, std::make_unique<FakePxiLibrary>(log, false))->getDescription(),
              "RS-485 SN:0001A2B3");
    EXPECT_EQ(log.closed, std::vector<qxqpxi::Handle>{11});
    EXPECT_EQ(accessor(dir)->getDescription(), "RS-485 SN:0001A2B3");
    // This process has no PXI query library on its loader path.
    EXPECT_EQ(accessor(dir, std::make_unique<qxqpxi::DynamicQPXILibrary>())->getDescription(),
              "RS-485 SN:0001A2B3");
}

TEST(DeviceAccessorFiles, MalformedFilesFailAtTheirSites) {
    DriverDirectory dir;
    auto board = accessor(dir);
    dir.tree.write("busProperties/pciBusNumber", std::string(5, '\1'));
    dir.tree.write("deviceProperties/serialNumber", "");
    dir.tree.write("busProperties/pciSlotPath", "");
    EXPECT_EQ(failure([&] { board->getPciBusNumber(); }), std::make_pair(-52003, int64_t{183}));
    EXPECT_EQ(failure([&] { board->getSerialNumber(); }), std::make_pair(-52005, int64_t{77}));
    EXPECT_EQ(failure([&] { board->getDescription(); }), std::make_pair(-52005, int64_t{77}));
    EXPECT_NE(failure([&] { board->getPciSlotPath(); }).first, 0);
}

TEST(DeviceAccessorFiles, UnknownProductFailsAndReleasesTheLibrary) {
    DriverDirectory dir;
    dir.tree.write("busProperties/pciDeviceID", u32(0x1111));
    PxiLog log;
    EXPECT_EQ(failure([&] { accessor(dir, std::make_unique<FakePxiLibrary>(log, true)); }),
              std::make_pair(-52005, int64_t{21}));
    EXPECT_TRUE(log.destroyed);
}

// A board accessor with a fixed device ID that notes its own destruction.
class StubDevice : public iDevicePropertyAccessor {
public:
    StubDevice(uint32_t id, bool& destroyed) : id_(id), destroyed_(destroyed) {}
    ~StubDevice() override { destroyed_ = true; }
    std::string getDevicePath() override { return "/nowhere"; }
    std::string getPciSlotPath() override { return "1"; }
    uint32_t getPciDeviceId() override { return id_; }
    uint32_t getPciBusNumber() override { return 0; }
    uint32_t getPciDeviceNumber() override { return 0; }
    uint32_t getPciFunctionNumber() override { return 0; }
    std::string getSerialNumber() override { return {}; }
    std::string getModelName() override { return {}; }
    std::string getDescription() override { return {}; }
    int32_t getPortCount() override { return 0; }
    uint32_t getBusType() override { return 0; }

private:
    uint32_t id_;
    bool& destroyed_;
};

TEST(PortAccessorConstruction, RefusesMissingPartsAndUnknownBoards) {
    bool destroyed = false;
    auto make = [&](uint32_t id, bool withDevice, bool withFactory) {
        destroyed = false;
        cPortPropertyAccessor(withDevice ? std::make_unique<StubDevice>(id, destroyed) : nullptr,
                              "/nowhere/tty/ttyQX561xPort0",
                              withFactory ? std::make_unique<cEnumeratorFactory>() : nullptr);
    };
    EXPECT_EQ(failure([&] { make(0x7008, false, true); }), std::make_pair(-52005, int64_t{21}));
    EXPECT_EQ(failure([&] { make(0x1111, true, true); }), std::make_pair(-52005, int64_t{26}));
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(failure([&] { make(0x7008, true, false); }), std::make_pair(-52005, int64_t{31}));
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(failure([&] { make(0x7001, true, true); }), std::make_pair(0, int64_t{0}));
}

TEST(PortAccessorConstruction, FifoBoundsAndNodeNeedNoTree) {
    bool destroyed = false;
    cPortPropertyAccessor port(std::make_unique<StubDevice>(0x7001, destroyed),
                               "/nowhere/tty/ttyQX561xPort3", std::make_unique<cEnumeratorFactory>());
    EXPECT_EQ(port.getPortDevicePath(), "/dev/ttyQX561xPort3");
    EXPECT_TRUE(port.isRs232());
    const uint32_t bounds[] = {port.getRxFifoDepthMin(), port.getRxFifoDepthMax(),
                               port.getRxFifoDepthDefault(), port.getTxFifoDepthMin(),
                               port.getTxFifoDepthMax(), port.getTxFifoDepthDefault()};
    EXPECT_EQ(std::vector<uint32_t>(std::begin(bounds), std::end(bounds)),
              (std::vector<uint32_t>{1, 127, 64, 1, 128, 128}));
    EXPECT_EQ(failure([&] { port.getPortNumber(); }), std::make_pair(-52003, int64_t{67}));
}

TEST(DeviceEnumeratorConstruction, RefusesANullFactory) {
    EXPECT_EQ(failure([] { cDeviceEnumerator(nullptr, "/sys/devices"); }),
              std::make_pair(-52005, int64_t{33}));
}

}  // namespace
