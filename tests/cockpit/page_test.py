#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The "Serial ports" page in a real browser: cockpit-ws with a local session inside qxsim,
qxhost first on the bridge's PATH (through a wrapper that can hold a call), headless Chromium
driven from outside. Each test starts from a fresh page on a machine with no stored settings
and leaves the machine's boards as it found them, so the tests run in any order.

    page_test.py --qxsim Q --host-dir D --plugin P --share S --boards F --axe A --artifacts DIR
                 [unittest args]
"""

import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.select import Select

ARGS = None
PAGE = "/cockpit/@localhost/qx561x/index.html"
COCKPIT_WS = "/usr/lib/cockpit/cockpit-ws"  # Debian's place for it, off the PATH
INI = "/etc/qxserial/configuration.ini"
# Ports of the board file's boards that start plugged in, by board.
SCENARIO = {
    "0000:03:00.0": ["/dev/ttyQX561xPort0", "/dev/ttyQX561xPort1", "/dev/ttyQX561xPort2", "/dev/ttyQX561xPort3"],
    "0000:04:00.0": ["/dev/ttyQX561xPort8", "/dev/ttyQX561xPort9"],
    "0000:05:00.0": ["/dev/ttyQX561xPort12", "/dev/ttyQX561xPort13"],
}
LATE_PORTS = ["/dev/ttyQX561xPort30", "/dev/ttyQX561xPort31"]
# Generous bounds for conditions, never measured durations: a loaded machine is slow.
WAIT = 60
WIDTHS = {1280: 900, 400: 800}
# How long a plugged board may take to appear on an open page.
HEARD = 2
WCAG = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa"]

# Inside the simulation: cockpit-ws, and a runner for commands that the test sends through a
# FIFO (a script's path per line), so that they run in the same simulated machine.
INSIDE = """
"$1" --no-tls --address 127.0.0.1 --port "$2" --local-session=cockpit-bridge &
while read -r job; do sh "$job" >"$job.out" 2>&1; echo $? >"$job.status"; done <"$3"
kill $!
wait
"""

# qxhost as the page runs it here. Each call's arguments are logged in the hold folder's
# "calls"; a call whose verb (set-dry-run for a dry run) has a file in the folder waits, and
# says so in VERB.held, until the test removes the file.
WRAPPER = """#!/bin/sh
printf '%s\\n' "$*" >>"{holds}/calls"
verb=
for arg; do case $arg in -*) ;; *) verb=$arg; break ;; esac; done
for arg; do [ "$arg" = --dry-run ] && verb=$verb-dry-run; done
if [ -e "{holds}/$verb" ]; then
    echo $$ >>"{holds}/$verb.held"
    while [ -e "{holds}/$verb" ]; do sleep 0.05; done
fi
exec "{real}" "$@"
"""

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(path):
    with open(path) as f:
        return f.read()


def connectable(port):
    try:
        socket.create_connection(("127.0.0.1", port), 1).close()
        return True
    except OSError:
        return False


def wait_for(condition, what, timeout=WAIT, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %ss waiting for %s" % (timeout, what))
        time.sleep(interval)


class SerialPortsPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="qx-page-")
        cls.state = os.path.join(cls.tmp, "state")
        cls.fifo = os.path.join(cls.tmp, "jobs")
        cls.holds = os.path.join(cls.tmp, "holds")
        bin_dir = os.path.join(cls.tmp, "bin")
        cls.jobs = 0
        os.mkfifo(cls.fifo)
        os.makedirs(cls.holds)
        os.makedirs(bin_dir)
        with open(os.path.join(bin_dir, "qxhost"), "w") as f:
            f.write(WRAPPER.format(holds=cls.holds, real=os.path.join(ARGS.host_dir, "qxhost")))
        os.chmod(os.path.join(bin_dir, "qxhost"), 0o755)
        shutil.rmtree(ARGS.artifacts, ignore_errors=True)
        os.makedirs(ARGS.artifacts)
        cls.axe = read(ARGS.axe)
        cls.port = free_port()
        # Read-write, so neither side waits for the other; closing it ends the runner.
        cls.fifo_fd = os.open(cls.fifo, os.O_RDWR)
        cls.driver = cls.sim = cls.log = None
        cls.addClassCleanup(cls.stop)
        env = dict(os.environ, PATH=bin_dir + ":" + ARGS.host_dir + ":" + os.environ["PATH"], LANG="C.UTF-8",
                   XDG_DATA_DIRS=ARGS.share + ":/usr/share", QX_PAGE_TEST=cls.tmp,
                   # The page needs neither a session bus nor an ssh agent; without them, the
                   # bridge starts its own, which outlive it and keep the simulation running.
                   DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(cls.tmp, "no-session-bus"),
                   SSH_AUTH_SOCK=os.path.join(cls.tmp, "no-ssh-agent"))
        cls.log = open(os.path.join(cls.tmp, "sim.log"), "w+")
        cls.sim = subprocess.Popen(
            [ARGS.qxsim, "--boards", ARGS.boards, "--state", cls.state, "--",
             "sh", "-c", INSIDE, "sh", COCKPIT_WS, str(cls.port), cls.fifo],
            env=env, start_new_session=True, stdout=cls.log, stderr=subprocess.STDOUT)
        try:
            wait_for(cls.listening, "cockpit-ws on port %d" % cls.port, interval=0.1)
        except AssertionError as e:
            raise AssertionError("%s\n%s" % (e, read(cls.log.name)))

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--no-first-run", "--lang=en-US",
                    "--user-data-dir=" + os.path.join(cls.tmp, "chromium"), "--window-size=1280,900"):
            options.add_argument(arg)
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    @classmethod
    def listening(cls):
        if cls.sim.poll() is not None:
            raise AssertionError("qxsim ended early")
        return connectable(cls.port)

    @classmethod
    def stop(cls):
        if cls.driver:
            cls.driver.quit()
        for name in os.listdir(cls.holds):
            os.unlink(os.path.join(cls.holds, name))
        os.close(cls.fifo_fd)
        lingered = False
        if cls.sim:
            try:
                cls.sim.wait(15)
            except subprocess.TimeoutExpired:
                lingered = True
                os.killpg(cls.sim.pid, signal.SIGKILL)
                cls.sim.wait()
        # Whatever the simulation started carries the marker in its environment.
        left = {}
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    if ("QX_PAGE_TEST=" + cls.tmp).encode() in f.read().split(b"\0"):
                        left[int(pid)] = read("/proc/%s/cmdline" % pid).replace("\0", " ")
            except OSError:
                pass
        for pid in left:
            os.kill(pid, signal.SIGKILL)
        if cls.log:
            cls.log.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)
        if left or lingered:
            raise AssertionError("the simulation outlived cockpit-ws by 15 s; left behind: %s" % left)

    def setUp(self):
        self.assertEqual(0, self.inside("rm -f " + INI)[0])
        self.first_call = len(self.all_calls())
        self.driver.delete_all_cookies()
        self.viewport(1280)
        self.open_page()

    def open_page(self):
        self.driver.get("http://127.0.0.1:%d%s" % (self.port, PAGE))
        try:
            wait_for(lambda: len(self.rows()) == 8 and self.cell("/dev/ttyQX561xPort0", "rx") == "64",
                     "the scenario's ports on the page, as built in")
        except AssertionError:
            self.driver.save_screenshot(os.path.join(ARGS.artifacts, "failure-%s.png" % self.id()))
            raise

    # ---- the simulated machine ----

    @classmethod
    def inside(cls, command):
        """Runs a shell command inside the simulation; returns (status, output)."""
        cls.jobs += 1
        job = os.path.join(cls.tmp, "job%d" % cls.jobs)
        with open(job, "w") as f:
            f.write(command + "\n")
        os.write(cls.fifo_fd, (job + "\n").encode())
        wait_for(lambda: os.path.exists(job + ".status") and read(job + ".status").endswith("\n"), command)
        return int(read(job + ".status")), read(job + ".out")

    def qxsim(self, *args, check=True):
        done = subprocess.run([ARGS.qxsim, *args, "--state", self.state], capture_output=True, text=True)
        if check:
            self.assertEqual(0, done.returncode, done.stderr)
        return done.stdout

    def journal(self):
        return self.qxsim("journal").splitlines()

    def stored(self):
        status, ini = self.inside("cat %s 2>/dev/null || true" % INI)
        self.assertEqual(0, status, ini)
        return ini

    def qxhost_json(self, command):
        status, out = self.inside("qxhost --json " + command + " 2>&1")
        return status, json.loads(out)

    def hold(self, verb):
        """Holds every qxhost call of the verb from now on; returns a function that releases them."""
        path = os.path.join(self.holds, verb)
        open(path, "w").close()
        release = lambda: os.path.exists(path) and os.unlink(path)
        self.addCleanup(release)
        return release

    def all_calls(self):
        path = os.path.join(self.holds, "calls")
        return read(path).splitlines() if os.path.exists(path) else []

    def calls(self, verb):
        """The page's qxhost calls of the verb so far, each as its arguments after --json."""
        return [call.split()[1:] for call in self.all_calls() if call.split()[1:2] == [verb]]

    def verbs(self):
        """The verbs of the qxhost calls since this test began, in order."""
        return [call.split()[1] for call in self.all_calls()[self.first_call:]]

    def held(self, verb):
        return os.path.exists(os.path.join(self.holds, verb + ".held"))

    def plug_late_board(self):
        self.qxsim("plug", "late")
        self.addCleanup(lambda: self.qxsim("unplug", "late", check=False))
        wait_for(lambda: self.present(LATE_PORTS[1]), "the plugged board's rows")

    # ---- the page ----

    def rows(self):
        return self.driver.find_elements(By.CSS_SELECTOR, "#boards tbody tr")

    def present(self, node):
        return self.driver.find_elements(By.CSS_SELECTOR, 'tr[data-node="%s"]' % node)

    def row(self, node):
        return self.driver.find_element(By.CSS_SELECTOR, 'tr[data-node="%s"]' % node)

    def cell(self, node, key):
        """A value as the row shows it: for a named mode, its name (the first line)."""
        return self.row(node).find_element(By.CSS_SELECTOR, 'td[data-key="%s"]' % key).text.split("\n")[0]

    def field(self, node, key):
        return self.row(node).find_element(By.CSS_SELECTOR, '[name="%s"]' % key)

    def meaning(self, node):
        return self.row(node).find_element(By.CSS_SELECTOR, 'td[data-key="mode"] .qx-meaning').text

    def message(self, node):
        return self.row(node).find_element(By.CSS_SELECTOR, ".qx-message").text

    def type_into(self, field, value):
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(str(value))

    def edit(self, node, key, value):
        row = self.row(node)
        row.find_element(By.CSS_SELECTOR, ".qx-actions button").click()
        field = self.field(node, key)
        self.assertEqual(row.find_elements(By.CSS_SELECTOR, "input")[0], self.driver.switch_to.active_element,
                         "the editor takes the focus")
        self.type_into(field, value)
        return field

    def viewport(self, width):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    {"width": width, "height": WIDTHS[width], "deviceScaleFactor": 1, "mobile": False})

    def theme(self, theme):
        self.driver.execute_script(
            "window.dispatchEvent(new CustomEvent('cockpit-style', {detail: {style: arguments[0]}}))", theme)
        self.assertEqual(theme == "dark", self.driver.execute_script(
            "return document.documentElement.classList.contains('pf-theme-dark')"))

    def axe_violations(self):
        # A row that changed is highlighted for a moment; its colours are judged once it ends.
        wait_for(lambda: self.driver.execute_script(
            "return document.getAnimations().every(a => a.effect.getTiming().iterations === Infinity)"),
            "the page's transitions to end")
        if not self.driver.execute_script("return typeof window.axe === 'object'"):
            self.driver.execute_script(self.axe)
        return self.driver.execute_async_script(
            "axe.run(document, {runOnly: {type: 'tag', values: arguments[0]}})"
            ".then(r => arguments[1](r.violations.map(v => v.id + ': ' + v.nodes.map(n => n.target.join(' ') +"
            " ' ' + n.failureSummary).join('; '))), e => arguments[1](['axe failed: ' + e]))", WCAG)

    def assert_state(self, name, shown=None):
        """In both themes and at both widths: no WCAG 2.1 A or AA violation, and a screenshot
        (with the element shown in the middle of the screen)."""
        try:
            for theme in ("light", "dark"):
                self.theme(theme)
                for width in WIDTHS:
                    self.viewport(width)
                    if shown:
                        self.driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", shown)
                    self.driver.save_screenshot(os.path.join(ARGS.artifacts, "%s-%d-%s.png" % (name, width, theme)))
                    self.assertEqual([], self.axe_violations(), "%s, %s, %d px" % (name, theme, width))
                    self.assertLessEqual(self.driver.execute_script("return document.documentElement.scrollWidth"),
                                         width, "%s, %d px: nothing is wider than the screen" % (name, width))
        finally:
            self.theme("light")
            self.viewport(1280)

    # ---- the tests ----

    def test_lists_every_port_of_the_scenario(self):
        shown = {}
        for card in self.driver.find_elements(By.CSS_SELECTOR, "#boards .qx-board"):
            address = card.find_element(By.CSS_SELECTOR, ".qx-facts").text.split()[1]
            rows = card.find_elements(By.CSS_SELECTOR, "tbody tr")
            shown[address] = [row.get_attribute("data-node") for row in rows]
        self.assertEqual(SCENARIO, shown)
        port = "/dev/ttyQX561xPort1"
        self.assertEqual("RS-485", self.row(port).find_element(By.CSS_SELECTOR, ".pf-c-label").text)
        self.assertEqual(["64", "128", "rts-on-send"], [self.cell(port, key) for key in ("rx", "tx", "mode")])
        self.assertEqual("—", self.cell("/dev/ttyQX561xPort8", "mode"))
        manifests = self.driver.execute_async_script(
            "fetch('../manifests.json').then(r => r.json()).then(arguments[0])")
        self.assertEqual("Serial ports", manifests["qx561x"]["menu"]["index"]["label"])
        self.assert_state("list")

    def test_editing_a_receive_level_saves_and_applies_it(self):
        before = len(self.journal())
        sets = len(self.calls("set"))
        field = self.edit("/dev/ttyQX561xPort1", "rx", 32)
        hint = self.driver.find_element(By.ID, field.get_attribute("aria-describedby").split()[0]).text
        self.assertEqual("1 to 127, default 64", hint)
        self.assert_state("edit")
        field.send_keys(Keys.ENTER)
        wait_for(lambda: self.cell("/dev/ttyQX561xPort1", "rx") == "32", "the saved receive level")
        self.assertIn("ttyQX561xPort1 rx 32 ok", self.journal()[before:])
        self.assertIn("FifoRxDepth=32", self.stored())
        listing = self.qxhost_json("list")[1]
        item = [p["item"] for b in listing["boards"] for p in b["ports"] if p["node"] == "/dev/ttyQX561xPort1"][0]
        # Checked, then saved: only the setting the user changed.
        self.assertEqual([["set", "--dry-run", "--", item, "rx=32"], ["set", "--", item, "rx=32"]],
                         self.calls("set")[sets:])

    def test_an_out_of_range_value_shows_the_plug_ins_message_and_changes_nothing(self):
        port = "/dev/ttyQX561xPort2"
        status, refused = self.qxhost_json("set --dry-run %s rx=200" % port)
        self.assertEqual(1, status, refused)
        before = self.journal()

        field = self.edit(port, "rx", 200)
        field.send_keys(Keys.ENTER)
        shown = wait_for(lambda: self.message(port), "the refusal")
        self.assertEqual(refused["error"]["message"], shown)
        self.assertEqual("true", field.get_attribute("aria-invalid"))
        message = self.row(port).find_element(By.CSS_SELECTOR, ".qx-message")
        self.assertIn(message.get_attribute("id"), field.get_attribute("aria-describedby").split(),
                      "the refusal is tied to its input")
        self.assert_state("refusal")
        # Escape leaves the editor, and the keyboard is back on the row's Edit button.
        self.driver.switch_to.active_element.send_keys(Keys.ESCAPE)
        self.assertEqual("Edit", self.driver.switch_to.active_element.text)
        self.assertEqual("64", self.cell(port, "rx"))
        self.assertEqual(before, self.journal())
        self.assertEqual("", self.stored())

    def test_the_mode_is_chosen_by_name_and_a_value_without_a_name_says_so(self):
        port = "/dev/ttyQX561xPort1"
        listing = self.qxhost_json("list")[1]
        listed = [p for b in listing["boards"] for p in b["ports"] if p["node"] == port][0]
        choices = listed["limits"]["mode"]["choices"]
        self.assertEqual("enabled, RTS on send", self.meaning(port))
        before = len(self.journal())
        self.row(port).find_element(By.XPATH, ".//button[text()='Edit']").click()
        mode = Select(self.field(port, "mode"))
        self.assertEqual(["%s — %s" % (choice["name"], choice["meaning"]) for choice in choices],
                         [option.text for option in mode.options])
        self.assertEqual("rts-on-send — enabled, RTS on send", mode.first_selected_option.text)
        mode.select_by_visible_text("rx-during-tx — enabled, receiver on while sending")
        self.row(port).find_element(By.XPATH, ".//button[text()='Save']").click()
        wait_for(lambda: self.cell(port, "mode") == "rx-during-tx", "the chosen mode on the row")
        self.assertEqual("enabled, receiver on while sending", self.meaning(port))
        self.assertIn("Rs485TransceiverMode=1", self.stored())
        sent = [line for line in self.journal()[before:] if line.startswith("ttyQX561xPort1 rs485 ")]
        self.assertEqual(["0x11"], [line.split()[2].split(",")[0] for line in sent])

        # A stored value out of range has no name: the row and the editor show its number and say so.
        status, out = self.inside("sed -i s/Rs485TransceiverMode=1/Rs485TransceiverMode=9/ " + INI)
        self.assertEqual(0, status, out)
        wait_for(lambda: self.cell(port, "mode") == "4", "the stored value without a name")
        self.assertEqual("no name", self.meaning(port))
        self.row(port).find_element(By.XPATH, ".//button[text()='Edit']").click()
        mode = Select(self.field(port, "mode"))
        self.assertEqual("4 — no name", mode.first_selected_option.text)
        self.assertEqual(len(choices) + 1, len(mode.options))
        self.assert_state("unnamed-mode", self.row(port))

    def test_a_change_made_elsewhere_shows_without_a_reload(self):
        status, out = self.inside("qxhost set /dev/ttyQX561xPort9 tx=77")
        self.assertEqual(0, status, out)
        wait_for(lambda: self.cell("/dev/ttyQX561xPort9", "tx") == "77", "tx=77 on the page")

    def test_an_idle_page_runs_only_its_watcher_and_shows_a_plugged_board_within_two_seconds(self):
        try:
            wait_for(lambda: sorted(self.verbs()) == ["check", "list", "watch"], "the page's first reading and its watcher")
        except AssertionError as e:
            raise AssertionError("%s; qxhost ran: %s" % (e, self.verbs()))
        time.sleep(61)
        self.assertEqual(["check", "list", "watch"], sorted(self.verbs()), "an idle minute runs no qxhost")
        idle = len(self.verbs())

        self.qxsim("plug", "late")
        plugged = time.monotonic()
        self.addCleanup(lambda: self.qxsim("unplug", "late", check=False))
        wait_for(lambda: self.present(LATE_PORTS[1]), "the plugged board's rows", timeout=HEARD)
        self.assertLessEqual(time.monotonic() - plugged, HEARD)
        # Heard by the one watcher, and read with list alone: plugging changes no setting.
        self.assertEqual({"list"}, set(self.verbs()[idle:]))

    def test_a_plugged_board_adds_its_rows_and_an_unplugged_one_takes_them_away(self):
        self.plug_late_board()
        self.assertEqual(LATE_PORTS, [r.get_attribute("data-node") for r in self.rows()][-2:])
        self.qxsim("unplug", "late")
        wait_for(lambda: len(self.rows()) == 8, "the unplugged board's rows to go")

    def test_markup_from_the_machine_is_shown_as_text_and_runs_nothing(self):
        card = self.row("/dev/ttyQX561xPort12").find_element(By.XPATH, "ancestor::article")
        facts = [fact.text for fact in card.find_elements(By.CSS_SELECTOR, ".qx-fact")]
        self.assertEqual(["PCI 0000:05:00.0", "Slot <img src=x onerror=\"window.qxRan='slot'\">",
                          "Serial <script>window.qxRan='serial'</script><b>S1</b>"], facts)
        self.assertEqual([], card.find_elements(By.CSS_SELECTOR, "img, script, b"))
        self.assertIsNone(self.driver.execute_script("return window.qxRan"))

    @unittest.skipIf(os.geteuid() != 0, "needs root to run a second session as an unprivileged user")
    def test_a_user_without_administrative_access_gets_a_read_only_view(self):
        port = free_port()
        # A session of its own, as an unprivileged user.
        status, out = self.inside(
            'HOME=/tmp setpriv --reuid=nobody --regid=nogroup --clear-groups %s --no-tls --address 127.0.0.1 '
            '--port %d --local-session=cockpit-bridge </dev/null >/dev/null 2>&1 & echo $! >%s/user-ws'
            % (COCKPIT_WS, port, self.tmp))
        self.assertEqual(0, status, out)
        self.addCleanup(lambda: self.inside("kill $(cat %s/user-ws)" % self.tmp))
        wait_for(lambda: connectable(port), "the user's cockpit-ws")
        self.driver.get("http://127.0.0.1:%d%s" % (port, PAGE))
        note = wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-info"), "the read-only note")
        self.assertIn("Read-only", note[0].text)
        wait_for(lambda: len(self.rows()) == 8, "the ports, read-only")
        buttons = self.driver.find_elements(By.CSS_SELECTOR, "button")
        self.assertEqual([], [b.text for b in buttons if b.is_displayed()])
        self.assert_state("read-only")
        # Nothing in it takes the focus, and yet the keyboard scrolls it.
        self.viewport(400)
        self.assertEqual(0, self.driver.execute_script("return window.scrollY"))
        ActionChains(self.driver).send_keys(Keys.END).perform()
        wait_for(lambda: self.driver.execute_script("return window.scrollY") > 0, "the keyboard to scroll the page")

    def come_back(self):
        """Another tab and back, as a user who edited a file elsewhere: the page comes into view."""
        page = self.driver.current_window_handle
        self.driver.switch_to.new_window("tab")
        self.driver.close()
        self.driver.switch_to.window(page)

    def test_a_malformed_file_and_a_missing_plug_in_are_told_as_such(self):
        status, out = self.inside("printf '[qx561x:7007:3:1]\\nFifoRxDepth\\n' >%s" % INI)
        self.assertEqual(0, status, out)
        status, checked = self.qxhost_json("check")
        problem = checked["problems"][0]
        self.assertEqual([1, INI, 2], [status, problem["file"], problem["line"]], checked)
        # No port changed, so no notification: the page checks when it comes into view.
        self.come_back()
        shown = wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-warning li"),
                         "the configuration's problem")
        self.assertEqual("%s:2: %s" % (INI, problem["message"]), shown[0].text)
        self.assertEqual(0, self.inside("rm " + INI)[0])
        self.come_back()
        wait_for(lambda: not self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-warning"), "the problem to go")

        plugin = "/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so"
        # Lazily: the watcher of the page left behind still has it loaded.
        status, out = self.inside("umount --lazy " + plugin)
        self.assertEqual(0, status, out)
        try:
            self.driver.refresh()
            state = wait_for(lambda: self.driver.find_element(By.CSS_SELECTOR, "#state").text, "the empty state")
            self.assertIn("The qx561x plug-in is not installed", state)
            self.assertEqual([], self.rows())
            # Its watcher cannot start either: the page says that it no longer follows the machine.
            stopped = wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-warning"),
                               "the note that updates stopped")
            self.assertIn("Updates stopped", stopped[0].text)
            self.assert_state("stopped")
        finally:
            status, out = self.inside("mount --bind %s %s" % (ARGS.plugin, plugin))
            self.assertEqual(0, status, out)
        # The next try finds it, and the page follows the machine again.
        wait_for(lambda: len(self.rows()) == 8, "the ports to come back")
        wait_for(lambda: not self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-warning"),
                 "the note that updates stopped to go")
        self.qxsim("plug", "late")
        self.addCleanup(lambda: self.qxsim("unplug", "late", check=False))
        wait_for(lambda: self.present(LATE_PORTS[1]), "a plugged board heard by the new watcher")

    def test_stored_settings_are_applied_to_a_board_and_to_all_ports(self):
        card = self.row("/dev/ttyQX561xPort8").find_element(By.XPATH, "ancestor::article")
        board = card.find_element(By.CSS_SELECTOR, ".pf-c-card__actions button")
        everything = self.driver.find_element(By.ID, "apply-all")
        for button, ports in ((board, ["8", "9"]), (everything, ["0", "1", "2", "3", "8", "9", "12", "13"])):
            before = len(self.journal())
            button.click()
            notice = wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-success"),
                              "the result of " + button.text)
            self.assertEqual("Stored settings applied to %d ports" % len(ports), notice[0].text.splitlines()[0])
            applied = sorted({line.split()[0] for line in self.journal()[before:]})
            self.assertEqual(sorted("ttyQX561xPort" + port for port in ports), applied)
            notice[0].find_element(By.CSS_SELECTOR, "button").click()
            wait_for(lambda: not self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-success"),
                     "the result to be closed")

    def test_two_sessions_on_one_port_keep_each_others_changes_and_ask_before_saving_over_one(self):
        port = "/dev/ttyQX561xPort3"
        first = self.driver.current_window_handle
        self.edit(port, "tx", 10)
        self.driver.switch_to.new_window("tab")
        second = self.driver.current_window_handle
        self.addCleanup(lambda: (self.driver.switch_to.window(second), self.driver.close(),
                                 self.driver.switch_to.window(first)))
        self.open_page()

        # The second session saves another setting while the first still edits.
        self.edit(port, "rx", 21).send_keys(Keys.ENTER)
        wait_for(lambda: self.cell(port, "rx") == "21", "the second session's receive level")
        self.driver.switch_to.window(first)
        wait_for(lambda: self.field(port, "rx").get_attribute("value") == "21",
                 "the first session's editor to show the receive level stored elsewhere")
        self.assertEqual("10", self.field(port, "tx").get_attribute("value"))
        # A third change lands while the first session's save is on its way: it is not undone.
        release = self.hold("set-dry-run")
        self.field(port, "tx").send_keys(Keys.ENTER)
        wait_for(lambda: self.held("set-dry-run"), "the first session's save to reach qxhost")
        status, out = self.inside("qxhost set %s mode=1" % port)
        self.assertEqual(0, status, out)
        release()
        wait_for(lambda: [self.cell(port, key) for key in ("rx", "tx", "mode")] == ["21", "10", "rx-during-tx"],
                 "all three settings on the row")
        ini = self.stored()
        for line in ("FifoRxDepth=21", "FifoTxDepth=10", "Rs485TransceiverMode=1"):
            self.assertIn(line, ini)

        # Both change the same setting: the later save asks before it saves over the earlier.
        field = self.edit(port, "tx", 30)
        self.driver.switch_to.window(second)
        wait_for(lambda: self.cell(port, "tx") == "10", "the first session's transmit level in the second")
        self.edit(port, "tx", 50).send_keys(Keys.ENTER)
        wait_for(lambda: self.cell(port, "tx") == "50", "the second session's transmit level")
        self.driver.switch_to.window(first)
        note = wait_for(lambda: self.row(port).find_element(By.CSS_SELECTOR, 'td[data-key="tx"] .qx-note').text,
                        "the first session to see the transmit level changed elsewhere")
        self.assertEqual("Changed elsewhere to 50 while you edited", note)
        self.assertEqual("30", field.get_attribute("value"))
        field.send_keys(Keys.ENTER)
        question = wait_for(lambda: self.message(port), "the question before saving over it")
        self.assertIn("Transmit level: stored 50, yours 30", question)
        self.assertIn("FifoTxDepth=50", self.stored(), "nothing is saved over before the user agrees")
        self.assert_state("conflict", self.row(port))
        self.row(port).find_element(By.XPATH, ".//button[text()='Save over them']").click()
        wait_for(lambda: self.cell(port, "tx") == "30", "the first session's transmit level saved")
        ini = self.stored()
        self.assertIn("FifoTxDepth=30", ini)
        self.assertIn("FifoRxDepth=21", ini)

    def test_a_board_removed_while_its_port_is_edited_is_told_and_keeps_the_typed_values(self):
        port = LATE_PORTS[0]
        self.plug_late_board()
        field = self.edit(port, "rx", 99)
        self.qxsim("unplug", "late")
        alert = wait_for(lambda: self.message(port), "the removal in the editor")
        self.assertEqual(["The board of this port was removed.", "Your values were not saved.",
                          "They stay here until you dismiss them."], alert.splitlines())
        self.assertEqual("99", field.get_attribute("value"))
        card = self.row(port).find_element(By.XPATH, "ancestor::article")
        self.assertIn("Removed", card.text)
        self.assert_state("removed", self.row(port))
        self.row(port).find_element(By.XPATH, ".//button[text()='Dismiss']").click()
        wait_for(lambda: len(self.rows()) == 8, "the dismissed port to go")
        self.assertEqual("title", self.driver.switch_to.active_element.get_attribute("id"))

        # A save in flight when the board goes: held until the page has told of the removal.
        self.plug_late_board()
        release = self.hold("set")
        self.edit(port, "tx", 20).send_keys(Keys.ENTER)
        wait_for(lambda: self.held("set"), "the save to reach qxhost")
        self.qxsim("unplug", "late")
        wait_for(lambda: "A save was under way" in self.message(port), "the removal during the save")
        release()
        outcome = wait_for(lambda: "under way" not in self.message(port) and self.message(port), "the save's outcome")
        # The board had gone when the held save ran: the plug-in refused it, and said so.
        self.assertIn("Your values were not saved: no such item", outcome)
        self.assertEqual("20", self.field(port, "tx").get_attribute("value"))
        self.assertNotIn("FifoTxDepth=20", self.stored())

    def test_a_slow_qxhost_shows_that_the_page_is_working(self):
        busy = self.driver.find_element(By.ID, "busy")
        boards = self.driver.find_element(By.ID, "boards")
        release = self.hold("list")
        # A change elsewhere makes the page list.
        status, out = self.inside("qxhost set /dev/ttyQX561xPort9 tx=77")
        self.assertEqual(0, status, out)
        wait_for(lambda: busy.is_displayed(), "the sign that the page is working")
        self.assertEqual("Listing boards and ports…", busy.text)
        self.assertEqual("true", boards.get_attribute("aria-busy"))
        self.assert_state("busy")
        release()
        wait_for(lambda: not busy.is_displayed(), "the sign to go")
        self.assertEqual("false", boards.get_attribute("aria-busy"))

    def test_every_control_is_reachable_by_keyboard_at_400_by_800(self):
        self.viewport(400)
        self.assert_reachable("the listing")
        self.row("/dev/ttyQX561xPort1").find_element(By.XPATH, ".//button[text()='Edit']").click()
        self.assert_reachable("the listing with an editor open")

    def assert_reachable(self, what):
        controls = [c for c in self.driver.find_elements(By.CSS_SELECTOR, "button, input") if c.is_displayed()]
        self.driver.execute_script("document.activeElement.blur(); window.scrollTo(0, 0)")
        reached = []
        for _ in range(len(controls) + 5):
            ActionChains(self.driver).send_keys(Keys.TAB).perform()
            active = self.driver.switch_to.active_element
            if active in reached:
                break
            if active.tag_name in ("button", "input"):
                reached.append(active)
                place = self.driver.execute_script(
                    # Scrolled into view to the fraction of a pixel.
                    "const r = arguments[0].getBoundingClientRect();"
                    "const seen = r.left > -1 && r.right < innerWidth + 1 && r.top > -1 && r.bottom < innerHeight + 1 &&"
                    " arguments[0].contains(document.elementFromPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2));"
                    "return seen || [r.left, r.right, r.top, r.bottom, innerWidth, innerHeight].join(' ')", active)
                self.assertIs(True, place, "%s: %r is focused but not wholly on the screen" % (what, active.text))
        self.assertEqual(len(controls), len(reached), what)
        self.assertEqual(set(c.id for c in controls), set(c.id for c in reached), what)

    def test_the_page_follows_the_shells_language(self):
        # What the shell's language dialog does: the cookie, the stored choice, a reload.
        self.driver.execute_script(
            "document.cookie = 'CockpitLang=de-de; path=/; expires=Sun, 16 Jul 3567 06:23:41 GMT';"
            "localStorage.setItem('cockpit.lang', 'de-de')")
        self.addCleanup(lambda: self.driver.execute_script("localStorage.removeItem('cockpit.lang')"))
        self.driver.get("http://127.0.0.1:%d%s" % (self.port, PAGE))
        wait_for(lambda: len(self.rows()) == 8, "the German page's ports")
        self.assertEqual("de", self.driver.find_element(By.TAG_NAME, "html").get_attribute("lang"))
        self.assertEqual("Serielle Schnittstellen", self.driver.title)
        self.assertEqual("Serielle Schnittstellen", self.driver.find_element(By.ID, "title").text)
        self.assertEqual("Gespeicherte Einstellungen auf alle Schnittstellen anwenden",
                         self.driver.find_element(By.ID, "apply-all").text)
        head = [th.text for th in self.driver.find_elements(By.CSS_SELECTOR, "#boards .qx-board:first-child th")]
        self.assertEqual(["Schnittstelle", "Typ", "Empfangsschwelle", "Sendefüllstand", "RS-485-Modus", "Aktionen"],
                         head)
        port = "/dev/ttyQX561xPort1"
        self.assertEqual("Schnittstelle 2", self.row(port).find_element(By.CSS_SELECTOR, ".qx-number").text)
        field = self.edit(port, "rx", "")
        hint = self.driver.find_element(By.ID, field.get_attribute("aria-describedby").split()[0]).text
        self.assertEqual("1 bis 127, Standard 64", hint)
        self.assertIn("rts-on-send — aktiviert, RTS beim Senden",
                      [option.text for option in Select(self.field(port, "mode")).options])
        self.assert_state("german")
        self.viewport(400)
        self.assert_reachable("the German listing with an editor open")
        # The shell's menu entry, from the catalogue the shell loads for every package.
        menu = self.driver.execute_async_script("fetch('po.manifest.js').then(r => r.text()).then(arguments[0])")
        self.assertIn('"Serial ports":[null,"Serielle Schnittstellen"]', menu)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("--qxsim", "--host-dir", "--plugin", "--share", "--boards", "--axe", "--artifacts"):
        parser.add_argument(name, required=True)
    ARGS, rest = parser.parse_known_args()
    # Cockpit's bridge does not run where this test does.
    for name in ("qxsim", "host_dir", "plugin", "share", "boards", "axe", "artifacts"):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
