// SPDX-License-Identifier: MIT
#include "sysapicpp/Task.h"

#include "sysapicpp/HResultException.h"

namespace sysapicpp {

void Task::runGuarded() {
    try {
        run();
    } catch (const HResultException&) {
    } catch (const std::exception&) {
    } catch (int) {
    } catch (...) {
    }
}

}  // namespace sysapicpp
