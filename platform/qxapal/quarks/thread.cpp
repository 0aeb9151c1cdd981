// SPDX-License-Identifier: MIT
#include "platform/qxapal/quarks/thread.h"

#include <sys/prctl.h>

#include <cstring>

#include "platform/qxapal/protons/cppNewDelete/memoryAllocation.h"

namespace qxapal {
namespace {

constexpr const char kModule[] = "qxapal/quarks/thread";
constexpr qxerr::SourceLocation kAttributesFailed{kModule, 594, qxerr::kComponent,
                                                  "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kCreateFailed{kModule, 632, qxerr::kComponent, "qxapalerr_osFault"};

// Owns pthread attributes for the length of start().
class Attributes {
public:
    Attributes() : valid_(pthread_attr_init(&attributes_) == 0) {}
    ~Attributes() {
        if (valid_) pthread_attr_destroy(&attributes_);
    }
    bool valid() const { return valid_; }
    pthread_attr_t* get() { return &attributes_; }

    bool schedule(int priority) {
        const int policy = priority >= 1 ? SCHED_RR : SCHED_OTHER;
        sched_param parameters{};
        parameters.sched_priority = priority >= 1 ? priority : 0;
        return pthread_attr_setinheritsched(&attributes_, PTHREAD_EXPLICIT_SCHED) == 0 &&
               pthread_attr_setschedpolicy(&attributes_, policy) == 0 &&
               pthread_attr_setschedparam(&attributes_, &parameters) == 0;
    }

private:
    pthread_attr_t attributes_;
    bool valid_;
};

}  // namespace

tThreadController::~tThreadController() { join(); }

bool tThreadController::start(tEntry entry, void* argument, int priority, const char* name,
                              tStatus* status) {
    if ((status != nullptr && status->isFatal()) || started_) return false;
    Attributes attributes;
    if (!attributes.valid()) {
        setCodeWithFileLine(status, qxerr::qxapalerr_osFault, kAttributesFailed);
        return false;
    }
    const char* text = name != nullptr ? name : "";
    const std::size_t length = std::strlen(text);
    name_ = static_cast<char*>(allocate(length + 1, status));
    if (name_ == nullptr) return false;
    std::memcpy(name_, text, length + 1);
    entry_ = entry;
    argument_ = argument;
    stop_ = false;
    if (!attributes.schedule(priority) ||
        pthread_create(&handle_, attributes.get(), &tThreadController::run, this) != 0) {
        deallocate(name_);
        name_ = nullptr;
        setCodeWithFileLine(status, qxerr::qxapalerr_osFault, kCreateFailed);
        return false;
    }
    started_ = true;
    joinable_ = true;
    return true;
}

void tThreadController::join() {
    if (!joinable_) return;
    pthread_join(handle_, nullptr);
    joinable_ = false;
}

void* tThreadController::run(void* self) {
    auto& controller = *static_cast<tThreadController*>(self);
    prctl(PR_SET_NAME, controller.name_, 0, 0, 0);
    deallocate(controller.name_);
    controller.name_ = nullptr;
    controller.entry_(controller, controller.argument_);
    return nullptr;
}

}  // namespace qxapal
