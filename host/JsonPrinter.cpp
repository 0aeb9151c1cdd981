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

// An object built member by member in its documented order, each value moved in. A listing
// has thousands of members: an initializer list would first build each one as a two-element
// array, then copy it and search the keys made so far.
class Members {
public:
    explicit Members(std::size_t count) : object_(Json::value_t::object) {
        object_.get_ref<Json::object_t&>().reserve(count);
    }
    Members& add(const char* key, Json value) {
        object_.get_ref<Json::object_t&>().emplace_back(key, std::move(value));
        return *this;
    }
    Json take() { return std::move(object_); }

private:
    Json object_;
};

Json choices(const qx561x::tRs485ModeTable& modes) {
    Json list = Json::array();
    for (const qx561x::tRs485Mode& mode : modes)
        list.push_back(Members(3).add("value", mode.value).add("name", mode.name).add("meaning", mode.meaning).take());
    return list;
}

Json limits(const Limits& l) {
    Members members(l.choices ? 4 : 3);
    members.add("min", l.min).add("max", l.max).add("default", l.defaultValue);
    if (l.choices) members.add("choices", choices(*l.choices));
    return members.take();
}

Json port(const PortRow& p) {
    Json portLimits = Members(3)
                          .add("rx", limits(p.rxLimits))
                          .add("tx", limits(p.txLimits))
                          .add("mode", p.modeLimits ? limits(*p.modeLimits) : Json(nullptr))
                          .take();
    return Members(10)
        .add("item", p.item)
        .add("node", p.node)
        .add("path", p.path)
        .add("number", p.number)
        .add("kind", p.rs232 ? "RS-232" : "RS-485")
        .add("rx", p.rx)
        .add("tx", p.tx)
        .add("mode", orNull(p.mode))
        .add("modeName", orNull(p.modeName))
        .add("limits", std::move(portLimits))
        .take();
}

Json ports(const std::vector<PortRow>& rows) {
    Json list = Json::array();
    list.get_ref<Json::array_t&>().reserve(rows.size());
    for (const PortRow& row : rows) list.push_back(port(row));
    return list;
}

Json value(const PropertyRow& property) {
    return std::visit([](const auto& v) { return Json(v); }, property.value);
}

}  // namespace

Json toJson(const ListModel& model) {
    Json boards = Json::array();
    boards.get_ref<Json::array_t&>().reserve(model.boards.size());
    for (const BoardRow& b : model.boards) {
        boards.push_back(Members(8)
                             .add("item", b.item)
                             .add("address", b.address)
                             .add("path", b.path)
                             .add("model", b.model)
                             .add("slot", orNull(b.slot))
                             .add("serial", b.serial)
                             .add("portCount", b.portCount)
                             .add("ports", ports(b.ports))
                             .take());
    }
    return Members(2)
        .add("boards", std::move(boards))
        .add("unlistedBoardPorts", ports(model.unlistedBoardPorts))
        .take();
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
    std::string line = document.dump(-1, ' ', false, Json::error_handler_t::replace);
    line += '\n';
    return line;
}

}  // namespace qxhost
