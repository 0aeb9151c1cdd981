// SPDX-License-Identifier: MIT
// Port's reports, checked against nodes that exist on every machine. What reaches the
// driver is checked under the simulator in the system tests.

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/qxerr/Exception.h"
#include "qxserialconfig/Port.h"

namespace {

using qxserialconfig::Port;

// The report of the exception that op throws; fails the test when nothing is thrown.
template <typename Op>
std::string reportOf(Op op, int32_t expectedCode) {
    try {
        op();
    } catch (const qxerr::Exception& e) {
        EXPECT_EQ(expectedCode, e.getCode());
        return e.what();
    }
    ADD_FAILURE() << "no exception";
    return {};
}

std::string osPart(int error) {
    return "\"internal_error\":{\"api\":\"errno\",\"code\":" + std::to_string(error) +
           ",\"string\":\"" + std::strerror(error) + "\"}";
}

TEST(Port, OpenFailureReportsErrnoAndMessage) {
    const std::string report =
        reportOf([] { Port port("/dev/ttyQX561xPortDoesNotExist"); }, qxerr::qxapalerr_osFault);
    EXPECT_EQ("{\"error_constant\":\"qxapalerr_osFault\",\"file\":\"qxserialconfig/Port\","
              "\"line\":22,\"component\":\"qxserialconfig\"," +
                  osPart(2) + ",\"qxserialconfig\":\"failed to open port\"}",
              report);
}

// /dev/null opens read-write and refuses every request with ENOTTY.
TEST(Port, RefusedRequestsReportTheirLineAndMessage) {
    struct Case {
        const char* name;
        void (*request)(Port&);
        int line;
        const char* message;
    } cases[] = {
        {"rx", [](Port& p) { p.setRxFifoTriggerLevel(64); }, 35,
         "failed to set RX FIFO trigger level"},
        {"tx", [](Port& p) { p.setTxFifoFillLevel(128); }, 43, "failed to set TX FIFO fill level"},
        {"rs485", [](Port& p) { p.setRs485WireMode(3); }, 71, "failed to set RS-485 wire mode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Port port("/dev/null");
        const std::string report = reportOf([&] { c.request(port); }, qxerr::qxapalerr_osFault);
        EXPECT_EQ("{\"error_constant\":\"qxapalerr_osFault\",\"file\":\"qxserialconfig/Port\","
                  "\"line\":" + std::to_string(c.line) + ",\"component\":\"qxserialconfig\"," +
                      osPart(ENOTTY) + ",\"qxserialconfig\":\"" + c.message + "\"}",
                  report);
    }
}

TEST(Port, ModeAboveThreeIsRefusedWithLocationOnly) {
    Port port("/dev/null");
    for (uint32_t mode : {4u, 7u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ("{\"error_constant\":\"qxapalerr_invalidParameter\","
                  "\"file\":\"qxserialconfig/Port\",\"line\":65,\"component\":\"qxserialconfig\"}",
                  reportOf([&] { port.setRs485WireMode(mode); },
                           qxerr::qxapalerr_invalidParameter));
    }
}

}  // namespace
