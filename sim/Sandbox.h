// SPDX-License-Identifier: MIT
#pragma once
// The private view of the system in which the command runs: a mount namespace (inside a
// user namespace when not root) where /proc/driver, /sys/devices, /sys/bus/pci/devices and
// /dev show the simulated machine and /etc, /usr/lib/x86_64-linux-gnu are overlays whose changes land in
// the state directory. Nothing outside the namespace changes; it dies with its processes.

#include "sim/Board.h"
#include "sim/StateDir.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace qxsim {

class Sandbox {
public:
    static constexpr char kToolPath[] = "/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig";
    static constexpr char kPluginPath[] = "/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so";

    // tool, plugin: the files shown at kToolPath and kPluginPath, if any.
    Sandbox(const StateDir& state, const BoardSet& boards, std::optional<std::string> tool,
            std::optional<std::string> plugin);

    // Prepares the overlay layers in the state directory; runs outside the namespace.
    void prepare() const;

    // Enters the namespaces and mounts everything; runs in the command's process.
    void enter() const;

    // Whether the namespace is entered through a user namespace of its own (not root).
    static bool inUserNamespace();

    // Inside the namespace: /dev/<port> shows the port's node in the state directory, or
    // nothing. Either is done once; doing it again changes nothing.
    static void addPortNode(const StateDir& state, uint32_t index);
    static void removePortNode(uint32_t index);

private:
    void enterNamespaces() const;
    void mountDriverTrees() const;  // builds them, too
    void mountOverlays() const;
    void mountDev() const;
    void mirrorHostDev() const;
    void linkPtmx(const std::string& target) const;
    void mountPortNodes() const;

    StateDir state_;
    const BoardSet& boards_;
    std::optional<std::string> tool_;
    std::optional<std::string> plugin_;
    uid_t uid_;
    gid_t gid_;
};

}  // namespace qxsim
