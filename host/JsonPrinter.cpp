// SPDX-License-Identifier: MIT
#include "host/JsonPrinter.h"

#include "host/Format.h"
#include "host/HostError.h"

namespace qxhost {
namespace {

template <class T>
Json orNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json limits(const Limits& l) { return Json{{"min", l.min}, {"max", l.max}, {"default", l.defaultValue}}; }

Json port(const PortRow& p) {
    return Json{{"item", p.item},
                {"node", p.node},
                {"path", p.path},
                {"number", p.number},
                {"kind", p.rs232 ? "RS-232" : "RS-485"},
                {"rx", p.rx},
                {"tx", p.tx},
                {"mode", orNull(p.mode)},
                {"limits",
                 {{"rx", limits(p.rxLimits)},
                  {"tx", limits(p.txLimits)},
                  {"mode", p.modeLimits ? limits(*p.modeLimits) : Json(nullptr)}}}};
}

Json ports(const std::vector<PortRow>& rows) {
    Json list = Json::array();
    for (const PortRow& row : rows) list.push_back(port(row));
    return list;
}

Json value(const PropertyRow& property) {
    return std::visit([](const auto& v) { return Json(v); }, property.value);
}

}  // namespace

Json toJson(const ListModel& model) {
    Json boards = Json::array();
    for (const BoardRow& b : model.boards) {
        boards.push_back(Json{{"item", b.item},
                              {"address", b.address},
                              {"path", b.path},
                              {"model", b.model},
                              {"slot", orNull(b.slot)},
                              {"serial", b.serial},
                              {"portCount", b.portCount},
                              {"ports", ports(b.ports)}});
    }
    return Json{{"boards", boards}, {"unlistedBoardPorts", ports(model.unlistedBoardPorts)}};
}

Json toJson(const ShowModel& model) {
    Json items = Json::array();
    for (const ShowItem& item : model.items) {
        Json properties = Json::array();
        for (const PropertyRow& p : item.properties) {
            properties.push_back(Json{{"tag", tagHex(p.tag)},
                                      {"name", p.name.empty() ? Json(nullptr) : Json(p.name)},
                                      {"type", typeName(p.type)},
                                      {"value", value(p)}});
        }
        items.push_back(Json{{"item", item.item}, {"properties", properties}});
    }
    return Json{{"items", items}};
}

Json toJson(const SetModel& model) {
    Json list = Json::array();
    for (const SetPort& p : model.ports) {
        Json changes = Json::array();
        for (const Change& c : p.changes)
            changes.push_back(Json{{"key", c.key}, {"name", c.name}, {"before", orNull(c.before)}, {"after", orNull(c.after)}});
        list.push_back(Json{{"item", p.item}, {"node", p.node}, {"changes", changes}, {"applied", p.applied}});
    }
    return Json{{"operation", "set"}, {"dryRun", model.dryRun}, {"ports", list}};
}

Json toJson(const ApplyModel& model) {
    Json list = Json::array();
    for (const ApplyPort& p : model.ports) {
        list.push_back(Json{{"item", p.item},
                            {"node", p.node},
                            {"path", p.path},
                            {"applied", p.applied()},
                            {"status", orNull(p.status)},
                            {"report", p.report}});
    }
    return Json{{"operation", "apply"}, {"ports", list}};
}

Json toJson(const WatchEvent& event) {
    Json json{{"change", event.change}, {"item", event.item}, {"kind", orNull(event.kind)}};
    if (event.kind == std::optional<std::string>("board")) json["address"] = orNull(event.address);
    else json["node"] = orNull(event.node);
    return json;
}

Json toJson(const CheckModel& model) {
    Json files = Json::array();
    for (const CheckedFile& f : model.files) files.push_back(Json{{"path", f.path}, {"exists", f.exists}});
    Json problems = Json::array();
    for (const Problem& p : model.problems) {
        problems.push_back(Json{{"file", p.file},
                                {"line", orNull(p.line)},
                                {"kind", p.kind},
                                {"section", orNull(p.section)},
                                {"key", orNull(p.key)},
                                {"message", p.message}});
    }
    return Json{{"files", files}, {"problems", problems}};
}

Json toJson(const Warning& warning) {
    return Json{{"warning", {{"file", orNull(warning.file)}, {"line", orNull(warning.line)}, {"message", warning.message}}}};
}

Json toJson(const ErrorReport& error) {
    return Json{{"error",
                 {{"operation", orNull(error.operation)},
                  {"call", error.call},
                  {"code", error.code ? Json(resultHex(*error.code)) : Json(nullptr)},
                  {"symbol", error.code ? orNull(resultSymbol(*error.code)) : Json(nullptr)},
                  {"message", error.message},
                  {"name", orNull(error.name)}}}};
}

std::string jsonLine(const Json& document) {
    return document.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace qxhost
