#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The "Serial ports" page in a real browser: cockpit-ws with a local session inside qxsim,
the built qxhost first on the bridge's PATH, headless Chromium driven from outside.

    page_test.py --qxsim Q --host-dir D --plugin P --share S --boards F --artifacts A [unittest args]
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
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

ARGS = None
PAGE = "/cockpit/@localhost/qx561x/index.html"
COCKPIT_WS = "/usr/lib/cockpit/cockpit-ws"  # Debian's place for it, off the PATH
# Ports of the board file's boards that start plugged in, by board.
SCENARIO = {
    "0000:03:00.0": ["/dev/ttyQX561xPort0", "/dev/ttyQX561xPort1", "/dev/ttyQX561xPort2", "/dev/ttyQX561xPort3"],
    "0000:04:00.0": ["/dev/ttyQX561xPort8", "/dev/ttyQX561xPort9"],
    "0000:05:00.0": ["/dev/ttyQX561xPort12", "/dev/ttyQX561xPort13"],
}
LATE_PORTS = ["/dev/ttyQX561xPort30", "/dev/ttyQX561xPort31"]

# Inside the simulation: cockpit-ws, and a runner for commands that the test sends through a
# FIFO (a script's path per line), so that they run in the same simulated machine.
INSIDE = """
"$1" --no-tls --address 127.0.0.1 --port "$2" --local-session=cockpit-bridge &
while read -r job; do sh "$job" >"$job.out" 2>&1; echo $? >"$job.status"; done <"$3"
kill $!
wait
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


def wait_for(condition, timeout, what, interval=0.05):
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
        cls.jobs = 0
        os.mkfifo(cls.fifo)
        shutil.rmtree(ARGS.artifacts, ignore_errors=True)
        os.makedirs(ARGS.artifacts)
        cls.port = free_port()
        # Read-write, so neither side waits for the other; closing it ends the runner.
        cls.fifo_fd = os.open(cls.fifo, os.O_RDWR)
        cls.driver = cls.sim = cls.log = None
        cls.addClassCleanup(cls.stop)
        env = dict(os.environ, PATH=ARGS.host_dir + ":" + os.environ["PATH"], LANG="C.UTF-8",
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
            wait_for(cls.listening, 30, "cockpit-ws on port %d" % cls.port, 0.1)
        except AssertionError as e:
            raise AssertionError("%s\n%s" % (e, read(cls.log.name)))

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--no-first-run",
                    "--user-data-dir=" + os.path.join(cls.tmp, "chromium"), "--window-size=1200,900"):
            options.add_argument(arg)
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.driver.get("http://127.0.0.1:%d%s" % (cls.port, PAGE))
        try:
            wait_for(lambda: len(cls.rows()) == 8, 30, "the scenario's ports on the page")
        except AssertionError:
            cls.driver.save_screenshot(os.path.join(ARGS.artifacts, "setup-failure.png"))
            raise

    @classmethod
    def listening(cls):
        if cls.sim.poll() is not None:
            raise AssertionError("qxsim ended early")
        return connectable(cls.port)

    @classmethod
    def stop(cls):
        if cls.driver:
            cls.driver.quit()
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

    # ---- the simulated machine ----

    @classmethod
    def inside(cls, command):
        """Runs a shell command inside the simulation; returns (status, output)."""
        cls.jobs += 1
        job = os.path.join(cls.tmp, "job%d" % cls.jobs)
        with open(job, "w") as f:
            f.write(command + "\n")
        os.write(cls.fifo_fd, (job + "\n").encode())
        wait_for(lambda: os.path.exists(job + ".status") and read(job + ".status").endswith("\n"), 60, command)
        return int(read(job + ".status")), read(job + ".out")

    def qxsim(self, *args):
        done = subprocess.run([ARGS.qxsim, *args, "--state", self.state], capture_output=True, text=True)
        self.assertEqual(0, done.returncode, done.stderr)
        return done.stdout

    def journal(self):
        return self.qxsim("journal").splitlines()

    # ---- the page ----

    @classmethod
    def rows(cls):
        return cls.driver.find_elements(By.CSS_SELECTOR, "#boards tbody tr")

    def row(self, node):
        return self.driver.find_element(By.CSS_SELECTOR, 'tr[data-node="%s"]' % node)

    def cell(self, node, key):
        return self.row(node).find_element(By.CSS_SELECTOR, 'td[data-key="%s"]' % key).text

    def screenshot(self, name):
        for theme in ("light", "dark"):
            self.driver.execute_script(
                "window.dispatchEvent(new CustomEvent('cockpit-style', {detail: {style: arguments[0]}}))", theme)
            dark = self.driver.execute_script("return document.documentElement.classList.contains(arguments[0])",
                                              "pf-theme-dark")
            self.assertEqual(theme == "dark", dark)
            self.driver.save_screenshot(os.path.join(ARGS.artifacts, "%s-%s.png" % (name, theme)))
        self.driver.execute_script(
            "window.dispatchEvent(new CustomEvent('cockpit-style', {detail: {style: 'light'}}))")

    def edit(self, node, key, value):
        row = self.row(node)
        row.find_element(By.XPATH, ".//button[text()='Edit']").click()
        field = row.find_element(By.CSS_SELECTOR, 'input[name="%s"]' % key)
        self.assertEqual(field, self.driver.switch_to.active_element, "the editor takes the focus")
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(str(value))
        return field

    # ---- the tests, in order: each leaves the page as it found it ----

    def test_1_lists_every_port_of_the_scenario(self):
        shown = {}
        for card in self.driver.find_elements(By.CSS_SELECTOR, "#boards .qx-board"):
            address = card.find_element(By.CSS_SELECTOR, ".qx-facts").text.split()[1]
            rows = card.find_elements(By.CSS_SELECTOR, "tbody tr")
            shown[address] = [row.get_attribute("data-node") for row in rows]
        self.assertEqual(SCENARIO, shown)
        port = "/dev/ttyQX561xPort1"
        self.assertEqual("RS-485", self.row(port).find_element(By.CSS_SELECTOR, ".pf-c-label").text)
        self.assertEqual(["64", "128", "3"], [self.cell(port, key) for key in ("rx", "tx", "mode")])
        self.assertEqual("—", self.cell("/dev/ttyQX561xPort8", "mode"))
        manifests = self.driver.execute_async_script(
            "fetch('../manifests.json').then(r => r.json()).then(arguments[0])")
        self.assertEqual("Serial ports", manifests["qx561x"]["menu"]["index"]["label"])
        self.screenshot("list")

    def test_2_editing_a_receive_level_saves_and_applies_it(self):
        before = len(self.journal())
        field = self.edit("/dev/ttyQX561xPort1", "rx", 32)
        hint = self.row("/dev/ttyQX561xPort1").find_element(By.CSS_SELECTOR, 'td[data-key="rx"] .qx-range').text
        self.assertEqual("1 to 127, default 64", hint)
        self.screenshot("edit")
        field.send_keys(Keys.ENTER)
        wait_for(lambda: self.cell("/dev/ttyQX561xPort1", "rx") == "32", 10, "the saved receive level")
        self.assertIn("ttyQX561xPort1 rx 32 ok", self.journal()[before:])
        status, ini = self.inside("cat /etc/qxserial/configuration.ini")
        self.assertEqual(0, status, ini)
        self.assertIn("FifoRxDepth=32", ini)

    def test_3_an_out_of_range_value_shows_the_plug_ins_message_and_changes_nothing(self):
        status, refused = self.inside("qxhost set --dry-run --json /dev/ttyQX561xPort1 rx=200")
        self.assertEqual(1, status, refused)
        message = json.loads(refused)["error"]["message"]
        _, ini_before = self.inside("cat /etc/qxserial/configuration.ini")
        before = self.journal()

        self.edit("/dev/ttyQX561xPort1", "rx", 200).send_keys(Keys.ENTER)
        shown = wait_for(lambda: self.row("/dev/ttyQX561xPort1").find_element(By.CSS_SELECTOR, ".qx-message").text,
                         10, "the refusal")
        self.assertEqual(message, shown)
        self.screenshot("refusal")
        # Escape leaves the editor, and the keyboard is back on the row's Edit button.
        self.driver.switch_to.active_element.send_keys(Keys.ESCAPE)
        self.assertEqual("Edit", self.driver.switch_to.active_element.text)
        self.assertEqual("32", self.cell("/dev/ttyQX561xPort1", "rx"))
        self.assertEqual(before, self.journal())
        self.assertEqual(ini_before, self.inside("cat /etc/qxserial/configuration.ini")[1])

    def test_4_a_change_made_elsewhere_shows_within_two_seconds(self):
        status, out = self.inside("qxhost set /dev/ttyQX561xPort9 tx=77")
        self.assertEqual(0, status, out)
        started = time.monotonic()
        wait_for(lambda: self.cell("/dev/ttyQX561xPort9", "tx") == "77", 2, "tx=77 on the page")
        print("shown %.2f s after qxhost set ended" % (time.monotonic() - started), file=sys.stderr)

    def test_5_a_plugged_board_adds_its_rows_and_an_unplugged_one_takes_them_away(self):
        self.qxsim("plug", "late")
        wait_for(lambda: len(self.driver.find_elements(By.CSS_SELECTOR, 'tr[data-node="%s"]' % LATE_PORTS[1])), 10,
                 "the plugged board's rows")
        self.assertEqual(LATE_PORTS, [r.get_attribute("data-node") for r in self.rows()][-2:])
        self.qxsim("unplug", "late")
        wait_for(lambda: len(self.rows()) == 8, 10, "the unplugged board's rows to go")

    def test_6_markup_from_the_machine_is_shown_as_text_and_runs_nothing(self):
        card = self.row("/dev/ttyQX561xPort12").find_element(By.XPATH, "ancestor::article")
        facts = [fact.text for fact in card.find_elements(By.CSS_SELECTOR, ".qx-fact")]
        self.assertEqual(["PCI 0000:05:00.0", "Slot <img src=x onerror=\"window.qxRan='slot'\">",
                          "Serial <script>window.qxRan='serial'</script><b>S1</b>"], facts)
        self.assertEqual([], card.find_elements(By.CSS_SELECTOR, "img, script, b"))
        self.assertIsNone(self.driver.execute_script("return window.qxRan"))

    @unittest.skipIf(os.geteuid() != 0, "needs root to run a second session as an unprivileged user")
    def test_7_a_user_without_administrative_access_gets_a_read_only_view(self):
        port = free_port()
        # A session of its own: a local session serves one browser window.
        status, out = self.inside(
            'HOME=/tmp setpriv --reuid=nobody --regid=nogroup --clear-groups %s --no-tls --address 127.0.0.1 '
            '--port %d --local-session=cockpit-bridge </dev/null >/dev/null 2>&1 & echo $! >%s/user-ws'
            % (COCKPIT_WS, port, self.tmp))
        self.assertEqual(0, status, out)
        main = self.driver.current_window_handle
        try:
            self.driver.switch_to.new_window("tab")
            wait_for(lambda: connectable(port), 10, "the user's cockpit-ws")
            self.driver.get("http://127.0.0.1:%d%s" % (port, PAGE))
            note = wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-info"), 30,
                            "the read-only note")
            self.assertIn("Read-only", note[0].text)
            wait_for(lambda: len(self.rows()) == 8, 30, "the ports, read-only")
            buttons = self.driver.find_elements(By.CSS_SELECTOR, "button")
            self.assertEqual([], [b.text for b in buttons if b.is_displayed()])
        finally:
            self.driver.close()
            self.driver.switch_to.window(main)
            self.inside("kill $(cat %s/user-ws)" % self.tmp)

    def test_8_a_malformed_file_and_a_missing_plug_in_are_told_as_such(self):
        ini = "/etc/qxserial/configuration.ini"
        status, out = self.inside("touch {0} && cp {0} {0}.saved && printf '[qx561x:7007:3:1]\\nFifoRxDepth\\n' >{0}"
                                  .format(ini))
        self.assertEqual(0, status, out)
        try:
            status, out = self.inside("qxhost check --json")
            problem = json.loads(out)["problems"][0]
            self.assertEqual([1, ini, 2], [status, problem["file"], problem["line"]], out)
            shown = wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-warning li"), 10,
                             "the configuration's problem")
            self.assertEqual("%s:2: %s" % (ini, problem["message"]), shown[0].text)
        finally:
            self.assertEqual(0, self.inside("mv %s.saved %s" % (ini, ini))[0])
        wait_for(lambda: not self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-warning"), 10,
                 "the problem to go")

        plugin = "/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so"
        # Lazily: the page's watcher still has it loaded.
        status, out = self.inside("umount --lazy " + plugin)
        self.assertEqual(0, status, out)
        try:
            state = wait_for(lambda: self.driver.find_element(By.CSS_SELECTOR, "#state").text, 10, "the empty state")
            self.assertIn("The qx561x plug-in is not installed", state)
            self.assertEqual([], self.rows())
        finally:
            status, out = self.inside("mount --bind %s %s" % (ARGS.plugin, plugin))
            self.assertEqual(0, status, out)
        wait_for(lambda: len(self.rows()) == 8, 10, "the ports to come back")

    def test_9_stored_settings_are_applied_to_a_board_and_to_all_ports(self):
        card = self.row("/dev/ttyQX561xPort8").find_element(By.XPATH, "ancestor::article")
        board = card.find_element(By.CSS_SELECTOR, ".pf-c-card__actions button")
        everything = self.driver.find_element(By.ID, "apply-all")
        for button, ports in ((board, ["8", "9"]), (everything, ["0", "1", "2", "3", "8", "9", "12", "13"])):
            before = len(self.journal())
            button.click()
            notice = wait_for(lambda: self.driver.find_elements(By.CSS_SELECTOR, "#notices .pf-m-success"), 10,
                              "the result of " + button.text)
            self.assertEqual("Stored settings applied to %d ports" % len(ports), notice[0].text.splitlines()[0])
            applied = sorted({line.split()[0] for line in self.journal()[before:]})
            self.assertEqual(sorted("ttyQX561xPort" + port for port in ports), applied)
            notice[0].find_element(By.CSS_SELECTOR, "button").click()


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ("--qxsim", "--host-dir", "--plugin", "--share", "--boards", "--artifacts"):
        parser.add_argument(name, required=True)
    ARGS, rest = parser.parse_known_args()
    # Cockpit's bridge does not run where this test does.
    for name in ("qxsim", "host_dir", "plugin", "share", "boards", "artifacts"):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
