// SPDX-License-Identifier: MIT
#pragma once
// Items and an item factory for exercising the framework without hardware.

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "sysapicpp/cache/ItemFactory.h"

namespace sysapicpp::fake {

// Publishes tag 1 (10) and tag 2 (its name); every tag has the state it was made with.
class FakeItem final : public Item {
public:
    FakeItem(std::string name, int32_t state) : name_(std::move(name)), state_(state) {}

    int32_t getTagState(uint32_t) override { return state_; }
    void invalidate() override { ++invalidations; }
    void updateProperties() override {}
    bool updateTags(const std::vector<uint32_t>& tags) override {
        std::lock_guard<std::mutex> lock(mutex_);
        updated_.insert(updated_.end(), tags.begin(), tags.end());
        return changesOnUpdate;
    }
    PropertyBagHandle getPropertyBag() override {
        PropertyBagHandle bag = PropertyBagHandle::createEmpty();
        bag.setUInt32(1, 10);
        bag.setString(2, name_);
        return bag;
    }
    std::string getName() override { return name_; }
    std::vector<uint32_t> tagsUpdated() {
        std::lock_guard<std::mutex> lock(mutex_);
        return updated_;
    }

    // The expert's business; the framework never calls them.
    void hook() override {}
    void renameAlias(const std::string&, bool, std::string&) override {}
    void validateProperties(IcxSysPropertyBag4*, const std::vector<uint32_t>&, std::set<uint32_t>&,
                            std::string&) override {}
    void applyProperties(IcxSysPropertyBag4*, const std::vector<uint32_t>&, bool&,
                         std::string&) override {}
    void performDeviceReset(int32_t, bool&, std::string&) override {}
    void diagnosticSelfTest(int32_t, std::string&) override {}
    void diagnosticSelfCalibrate(std::string&) override {}

    std::atomic<int> invalidations{0};
    std::atomic<bool> changesOnUpdate{true};

private:
    const std::string name_;
    const int32_t state_;
    std::mutex mutex_;
    std::vector<uint32_t> updated_;
};

// Lists the names set; makes items with tagState. While failures > 0, calls throw.
class FakeItemFactory final : public ItemFactory {
public:
    void getItemNames(std::vector<std::string>& out) override {
        maybeFail();
        std::lock_guard<std::mutex> lock(mutex_);
        out.insert(out.end(), names_.begin(), names_.end());
    }
    std::vector<ItemRef> createItems(const std::vector<std::string>& names) override {
        maybeFail();
        std::vector<ItemRef> items;
        for (const std::string& name : names) {
            items.push_back(std::make_shared<FakeItem>(name, tagState.load()));
        }
        created += static_cast<int>(items.size());
        return items;
    }
    void setNames(std::vector<std::string> names) {
        std::lock_guard<std::mutex> lock(mutex_);
        names_ = std::move(names);
    }

    std::atomic<int> failures{0};
    std::atomic<int> created{0};
    std::atomic<int32_t> tagState{kTagStateCurrent};

private:
    void maybeFail() {
        int left = failures.load();
        while (left > 0 && !failures.compare_exchange_weak(left, left - 1)) {
        }
        if (left > 0) throw std::runtime_error("board list unreadable");
    }

    std::mutex mutex_;
    std::vector<std::string> names_;
};

inline FakeItem& fakeOf(const ItemRef& item) { return dynamic_cast<FakeItem&>(*item); }

}  // namespace sysapicpp::fake
