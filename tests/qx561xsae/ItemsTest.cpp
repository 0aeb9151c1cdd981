// SPDX-License-Identifier: MIT
// Board and port items over an in-process data store: what they publish, what they accept
// from a host, and how the factory makes them.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <thread>

#include "platform/qx/dsc/Utf8.h"
#include "platform/qxerr/Status.h"
#include "qx561xsae/cItemAllocator.h"
#include "qx561xsae/cQxSerialItemFactory.h"
#include "qx561xsae/cSerialDeviceItem.h"
#include "qx561xsae/cSerialExpertException.h"
#include "qx561xsae/cSerialPortItem.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/propbag/SystemAPIPropertyBagAccessor.h"
#include "tests/qx561xsae/FakeDataStore.h"

using namespace qx561xsae;
using sysapicpp::PropertyBagHandle;

namespace {

const std::string kDevice = "device:/sys/devices/pci0000|3A00/0000|3A03|3A00.0";
const std::string kPort = "port:/sys/devices/pci0000|3A00/0000|3A03|3A00.0/tty/ttyQX561xPort4";

// A bag as "type value" per tag, so whole tables compare at once.
std::map<uint32_t, std::string> describe(const PropertyBagHandle& bag) {
    std::map<uint32_t, std::string> out;
    for (uint32_t tag : sysapicpp::SystemAPIPropertyBagAccessor(bag.get()).tags()) {
        switch (bag.getPropertyType(tag)) {
        case 1: out[tag] = std::string("bool ") + (bag.getBool(tag) ? "true" : "false"); break;
        case 2: out[tag] = "i32 " + std::to_string(bag.getInt32(tag)); break;
        case 3: out[tag] = "u32 " + std::to_string(bag.getUInt32(tag)); break;
        case 5: {
            const GUID g = bag.getGuid(tag);
            out[tag] = g == GUID{} ? "guid zero" : "guid set";
            break;
        }
        case 6: out[tag] = "str " + bag.getString(tag); break;
        default: out[tag] = "type " + std::to_string(bag.getPropertyType(tag));
        }
    }
    return out;
}

const std::map<uint32_t, std::string> kCommon = {
    {0x0101C000, "i32 1"},      {0x01001000, "bool true"},  {0x01037000, "u32 1507336"},
    {0x01009000, "bool false"}, {0x01024000, "i32 1"},      {0x01054000, "bool false"},
    {0x01028000, "bool false"}, {0x01038000, "bool false"}, {0x01020000, "bool false"},
    {0x01022000, "guid zero"},
};

std::map<uint32_t, std::string> with(std::map<uint32_t, std::string> rows) {
    rows.insert(kCommon.begin(), kCommon.end());
    return rows;
}

tDeviceInfo boardRecord(uint32_t busType) {
    tDeviceInfo info;
    info.modelName = "PCIe-5611/8 (RS-485) Interface";
    info.itemName = kDevice;
    info.description = "PCIe-5611/8 (RS-485) Interface in slot 3";
    info.pciDeviceId = 0x7019;
    info.portCount = 8;
    info.pciBusNumber = 3;
    info.pciDeviceNumber = 0;
    info.pciFunctionNumber = 0;
    info.serialNumber = "1A2B3C4D";
    info.busType = busType;
    return info;
}

int32_t reportedLine(const sysapicpp::HResultException& e) {
    return static_cast<int32_t>(qxerr::reportGetInt(e.report(), "line", -1));
}

// A host bag holding the given settings, all marked modified.
PropertyBagHandle hostBag(const std::vector<std::pair<uint32_t, uint32_t>>& settings) {
    PropertyBagHandle bag = PropertyBagHandle::createEmpty();
    for (const auto& [tag, value] : settings) bag.setUInt32(tag, value);
    return bag;
}

std::vector<uint32_t> tagsOf(const std::vector<std::pair<uint32_t, uint32_t>>& settings) {
    std::vector<uint32_t> tags;
    for (const auto& setting : settings) tags.push_back(setting.first);
    return tags;
}

TEST(DeviceItem, PublishesTheBoardWithTheBusTypeDecidingTheLinkRows) {
    const std::map<uint32_t, std::string> board = with({
        {0x01073000, "u32 1"}, {0x01002000, "u32 1"}, {0x0107A000, "u32 0"},
        {0x01048000, "i32 1"}, {0x01078000, "i32 -1"}, {0x01079000, "i32 -1"},
        {0x0103B000, "i32 1"}, {0x0100B000, "i32 -1"}, {0x0100A000, "str "},
        {0x01008000, "bool true"}, {0x01004000, "str Qorvex"}, {0x01003000, "u32 20824"},
        {0x01086000, "u32 0"}, {0x01075000, "str "}, {0x01007000, "str 1A2B3C4D"},
        {0x01027000, "str " + kDevice}, {0x01026000, "u32 5"}, {0x0102A000, "i32 1000"},
        {0x01006000, "str PCIe-5611/8 (RS-485) Interface"}, {0x01005000, "u32 28697"},
        {0x01018000, "u32 3"}, {0x01019000, "u32 0"}, {0x0101A000, "u32 0"},
        {0x0100C000, "i32 8"}, {0x0101F000, "str PCIe-5611/8 (RS-485) Interface in slot 3"},
        {0x0101D000, "str " + kDevice},
    });
    const struct {
        uint32_t busType;
        const char* link;  // value of both link rows, or null when absent
    } cases[] = {{2, "i32 -1"}, {4, "i32 -1"}, {3, "i32 1"}, {5, "i32 1"}, {7, nullptr}};
    for (const auto& c : cases) {
        qxtest::FakeDataStore store;
        store.devices[kDevice] = boardRecord(c.busType);
        auto expected = board;
        if (c.link) expected[0x01030000] = expected[0x01031000] = c.link;
        EXPECT_EQ(describe(cSerialDeviceItem(kDevice, &store).getPropertyBag()), expected)
            << "bus type " << c.busType;
    }
}

TEST(PortItem, PublishesTheFileSettingsAndTheModeOnlyOnRs485Ports) {
    const std::map<uint32_t, std::string> port = with({
        {0x0102A000, "i32 -1"}, {0x01004000, "str "}, {0x01006000, "str "},
        {0x01007000, "str "}, {0x01002000, "u32 5"}, {0x01008000, "bool false"},
        {0x0100A000, "str " + kDevice}, {0x0100B000, "i32 5"}, {0x0101D000, "str " + kPort},
        {0x0101F000, "str /dev/ttyQX561xPort4"}, {0x0C001000, "bool true"},
        {0x01049000, "str /dev/ttyQX561xPort4"}, {0x0C002000, "u32 1"}, {0x0C003000, "u32 127"},
        {0x0C004000, "u32 64"}, {0x0C005000, "u32 32"}, {0x0C006000, "u32 1"},
        {0x0C007000, "u32 128"}, {0x0C008000, "u32 128"}, {0x0C009000, "u32 96"},
    });
    for (bool rs232 : {false, true}) {
        qxtest::FakeDataStore store;
        store.ports[kPort] = qxtest::portRecord(kDevice, 4, rs232, 32, 96, 1);
        auto expected = port;
        expected[0x0C00A000] = rs232 ? "bool true" : "bool false";
        if (!rs232) expected[0x0C00B000] = "u32 1";
        EXPECT_EQ(describe(cSerialPortItem(kPort, &store).getPropertyBag()), expected)
            << (rs232 ? "RS-232" : "RS-485");
    }
}

TEST(PortItem, ValidationAcceptsExactlyThePortsBounds) {
    using sysapicpp::Rs485TransceiverMode;
    using sysapicpp::RxFifoDepth;
    using sysapicpp::TxFifoDepth;
    const char* const rx = "outside 1..127";
    const char* const tx = "outside 1..128";
    const char* const mode = "not an RS-485 transceiver mode (0..3)";
    const std::map<uint32_t, std::string> keys = {
        {RxFifoDepth, "FifoRxDepth"}, {TxFifoDepth, "FifoTxDepth"}, {Rs485TransceiverMode, "Rs485TransceiverMode"}};
    const struct {
        uint32_t tag;
        uint32_t value;
        int32_t validateLine;  // 0: accepted
        int32_t applyLine;
        const char* reason;  // for the system log
    } cases[] = {
        {RxFifoDepth, 0, 79, 135, rx},   {RxFifoDepth, 1, 0, 0, ""},      {RxFifoDepth, 127, 0, 0, ""},
        {RxFifoDepth, 128, 79, 135, rx}, {TxFifoDepth, 0, 89, 146, tx},   {TxFifoDepth, 1, 0, 0, ""},
        {TxFifoDepth, 128, 0, 0, ""},    {TxFifoDepth, 129, 89, 146, tx}, {Rs485TransceiverMode, 0, 0, 0, ""},
        {Rs485TransceiverMode, 3, 0, 0, ""}, {Rs485TransceiverMode, 4, 106, 165, mode},
    };
    qxtest::FakeDataStore store;
    store.ports[kPort] = qxtest::portRecord(kDevice, 4, false);
    cSerialPortItem item(kPort, &store);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.tag << std::dec << " = " << c.value);
        const PropertyBagHandle bag = hostBag({{c.tag, c.value}});
        std::set<uint32_t> accepted;
        std::string message;
        if (c.validateLine == 0) {
            item.validateProperties(bag.get(), {c.tag}, accepted, message);
            EXPECT_EQ(accepted, std::set<uint32_t>{c.tag});
            continue;
        }
        try {
            item.validateProperties(bag.get(), {c.tag}, accepted, message);
            ADD_FAILURE() << "accepted";
        } catch (const sysapicpp::ValidationValueException& e) {
            EXPECT_EQ(e.getCode(), sysapicpp::E_SYSAPI_VALIDATION_VALUE);
            EXPECT_EQ(reportedLine(e), c.validateLine);
        }
        // Applying refuses the same values at its own lines, and saves nothing.
        bool flag = false;
        try {
            item.applyProperties(bag.get(), {c.tag}, flag, message);
            ADD_FAILURE() << "applied";
        } catch (const sysapicpp::ValidationValueException& e) {
            EXPECT_EQ(reportedLine(e), c.applyLine);
        }
        EXPECT_TRUE(store.saved.empty());
        // Both refusals go to the system log, the check's and the change's.
        ASSERT_GE(store.refusals.size(), 2u);
        for (const bool checkOnly : {true, false}) {
            const tRefusal& logged = store.refusals[store.refusals.size() - (checkOnly ? 2 : 1)];
            EXPECT_EQ(logged.itemName, kPort);
            EXPECT_EQ(logged.node, "/dev/ttyQX561xPort4");
            EXPECT_EQ(logged.key, keys.at(c.tag));
            EXPECT_EQ(logged.value, c.value);
            EXPECT_EQ(logged.reason, c.reason);
            EXPECT_EQ(logged.checkOnly, checkOnly);
        }
    }
    EXPECT_EQ(store.refusals.size(), 10u);
}

TEST(PortItem, ApplyingStopsAtTheFirstRefusalAndSavesOnlyWhenAllPass) {
    using sysapicpp::RxFifoDepth;
    using sysapicpp::TxFifoDepth;
    qxtest::FakeDataStore store;
    store.ports[kPort] = qxtest::portRecord(kDevice, 4, false);
    cSerialPortItem item(kPort, &store);
    bool flag = false;
    std::string message;

    const auto refused = hostBag({{RxFifoDepth, 10}, {TxFifoDepth, 200}});
    EXPECT_THROW(item.applyProperties(refused.get(), tagsOf({{RxFifoDepth, 10}, {TxFifoDepth, 200}}),
                                      flag, message),
                 sysapicpp::ValidationValueException);
    EXPECT_TRUE(store.saved.empty());
    // The value accepted before the refusal stays in the item's bag until the next reload.
    EXPECT_EQ(item.getPropertyBag().getUInt32(RxFifoDepth), 10u);
    item.updateProperties();
    EXPECT_EQ(item.getPropertyBag().getUInt32(RxFifoDepth), 64u);

    const auto good = hostBag({{RxFifoDepth, 10}, {TxFifoDepth, 100}});
    item.applyProperties(good.get(), {RxFifoDepth, TxFifoDepth}, flag, message);
    ASSERT_EQ(store.saved.size(), 1u);
    EXPECT_EQ(store.saved[0].first, kPort);
    auto expected = qxtest::portRecord(kDevice, 4, false, 10, 100, 3);
    EXPECT_EQ(store.saved[0].second, expected);

    // With nothing modified the unchanged settings are saved and applied again.
    item.applyProperties(PropertyBagHandle::createEmpty().get(), {}, flag, message);
    ASSERT_EQ(store.saved.size(), 2u);
}

TEST(PortItem, AnRs232PortTakesAModeTheHostSetsAndKeepsItInItsBag) {
    qxtest::FakeDataStore store;
    store.ports[kPort] = qxtest::portRecord(kDevice, 4, true);
    cSerialPortItem item(kPort, &store);
    bool flag = false;
    std::string message;
    const auto bag = hostBag({{sysapicpp::Rs485TransceiverMode, 2}});
    item.applyProperties(bag.get(), {sysapicpp::Rs485TransceiverMode}, flag, message);
    ASSERT_EQ(store.saved.size(), 1u);
    EXPECT_EQ(store.saved[0].second.rs485TransceiverMode, 2u);
    item.updateProperties();
    EXPECT_EQ(item.getPropertyBag().getUInt32(sysapicpp::Rs485TransceiverMode), 2u);
}

TEST(Items, BoardsTakeNoSettingsAndNoItemDoesTheUnsupportedOperations) {
    qxtest::FakeDataStore store;
    store.devices[kDevice] = boardRecord(5);
    store.ports[kPort] = qxtest::portRecord(kDevice, 4, false);
    cSerialDeviceItem device(kDevice, &store);
    cSerialPortItem port(kPort, &store);

    const auto bag = hostBag({{sysapicpp::RxFifoDepth, 0}});
    std::set<uint32_t> accepted;
    std::string text = "left over";
    bool flag = false;
    device.validateProperties(bag.get(), {sysapicpp::RxFifoDepth}, accepted, text);
    device.applyProperties(bag.get(), {sysapicpp::RxFifoDepth}, flag, text);
    EXPECT_TRUE(accepted.empty());
    EXPECT_TRUE(store.saved.empty());

    const std::map<std::string, std::function<void(sysapicpp::Item&)>> unsupported = {
        {"renameAlias", [&](sysapicpp::Item& i) { i.renameAlias("alias", true, text); }},
        {"performDeviceReset", [&](sysapicpp::Item& i) { i.performDeviceReset(1, flag, text); }},
        {"diagnosticSelfTest", [&](sysapicpp::Item& i) { i.diagnosticSelfTest(1, text); }},
        {"diagnosticSelfCalibrate", [&](sysapicpp::Item& i) { i.diagnosticSelfCalibrate(text); }},
    };
    for (sysapicpp::Item* item : {static_cast<sysapicpp::Item*>(&device), static_cast<sysapicpp::Item*>(&port)}) {
        for (const auto& [operation, call] : unsupported) {
            text = "left over";
            try {
                call(*item);
                ADD_FAILURE() << operation << " succeeded";
            } catch (const cSerialExpertException& e) {
                EXPECT_EQ(e.getCode(), sysapicpp::E_NOTIMPL);
                EXPECT_EQ(std::string(e.what()), "cSerialItem: Call to unimplemented " + operation + ".");
            }
            EXPECT_EQ(text, operation == "renameAlias" ? "" : "left over") << operation;
        }
    }
}

TEST(DeviceItem, RereadsTheBoardOnlyAfterInvalidate) {
    qxtest::FakeDataStore store;
    store.devices[kDevice] = boardRecord(5);
    cSerialDeviceItem item(kDevice, &store);
    store.devices[kDevice].serialNumber = "NEW";
    item.updateProperties();
    EXPECT_EQ(item.getPropertyBag().getString(0x01007000), "1A2B3C4D");
    item.invalidate();
    item.updateProperties();
    EXPECT_EQ(item.getPropertyBag().getString(0x01007000), "NEW");
    // Invalidated between a request's update and its copy, the item still answers with the
    // values that update read.
    item.invalidate();
    EXPECT_EQ(item.getPropertyBag().getString(0x01007000), "NEW");
    // The bag handed out is a copy.
    item.getPropertyBag().setString(0x01007000, "changed by a host");
    EXPECT_EQ(item.getPropertyBag().getString(0x01007000), "NEW");
}

// Records which items the factory asked for.
class CountingAllocator : public iItemAllocator {
public:
    explicit CountingAllocator(std::vector<std::string>& made) : made_(made) {}
    sysapicpp::ItemRef createDeviceItem(const std::string& name, iSerialDataStore* store) override {
        made_.push_back(name);
        return inner_.createDeviceItem(name, store);
    }
    sysapicpp::ItemRef createPortItem(const std::string& name, iSerialDataStore* store) override {
        made_.push_back(name);
        return inner_.createPortItem(name, store);
    }

private:
    std::vector<std::string>& made_;
    cItemAllocator inner_;
};

TEST(ItemFactory, MakesItemsInNameOrderSkipsTheIndescribableAndRefusesStrangers) {
    qxtest::FakeDataStore store;
    store.addBoard(kDevice, boardRecord(5), {{kPort, qxtest::portRecord(kDevice, 4, false)},
                                             {kPort + "5", qxtest::portRecord(kDevice, 5, false)}});
    store.unreadable.insert(kPort + "5");
    std::vector<std::string> made;
    cQxSerialItemFactory factory(&store, std::make_unique<CountingAllocator>(made));

    std::vector<std::string> names{"leading name"};
    factory.getItemNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"leading name", kDevice, kPort, kPort + "5"}));

    const auto items = factory.createItems({kPort + "5", kPort, kDevice, kPort});
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->getName(), kDevice);
    EXPECT_EQ(items[1]->getName(), kPort);
    EXPECT_EQ(made, (std::vector<std::string>{kDevice, kPort, kPort + "5"}));

    made.clear();
    store.devices["device:d"] = boardRecord(5);
    store.ports["port:p"] = qxtest::portRecord("device:d", 0, false);
    try {
        factory.createItems({"port:p", "device:d", "zz"});
        ADD_FAILURE() << "a stranger's name was accepted";
    } catch (const sysapicpp::FailException& e) {
        EXPECT_EQ(reportedLine(e), 100);
    }
    EXPECT_EQ(made, (std::vector<std::string>{"device:d", "port:p"}));

    try {
        cQxSerialItemFactory(&store, nullptr);
        ADD_FAILURE() << "built without an allocator";
    } catch (const sysapicpp::FailException& e) {
        EXPECT_EQ(reportedLine(e), 41);
    }
}

// Hosts read while the monitor invalidates: the loaded flag is shared between threads.
TEST(PortItemConcurrency, InvalidateRacesWithReadsWithoutHarm) {
    qxtest::FakeDataStore store;
    store.devices[kDevice] = boardRecord(5);
    cSerialDeviceItem item(kDevice, &store);
    std::thread invalidator([&] {
        for (int i = 0; i < 2000; ++i) item.invalidate();
    });
    for (int i = 0; i < 2000; ++i) {
        item.updateProperties();
        item.getPropertyBag();
    }
    invalidator.join();
    item.updateProperties();
    EXPECT_EQ(item.getPropertyBag().getString(0x01007000), "1A2B3C4D");
}

}  // namespace
