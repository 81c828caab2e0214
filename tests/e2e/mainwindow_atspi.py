#!/usr/bin/python3
"""The main window as a person with a screen reader meets it, against three simulated adapters.

The program runs on an X server of its own with the AT-SPI bridge always on; this script
reaches it only through the accessibility bus, as a screen reader would: it waits for the
search at start, reads the device table, selects an adapter, presses "Check LED" and then
"Exit". The simulator's log tells which LEDs went on and off.

run_mainwindow_atspi.sh starts it inside a private session bus with XDG_RUNTIME_DIR set to a
private directory. Every check that fails ends the run with a message saying what was seen.
"""

import argparse
import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time

import pyatspi
from gi.repository import GLib

# Everything together, program start to exit, stays within this many seconds; the runner's
# own limit is a little longer.
OVERALL_LIMIT = 90

PROGRAM_NAME = "KOVSL47"
MAIN_WINDOW_TITLE = "KOV-SL47 Easy Setting Utility"
SEARCH_WINDOW_TITLE = "Search for devices"
SEARCH_WINDOW_TEXT = "Searching for KOV-SL47."
BLINK_WINDOW_TITLE = "Blink LED"
TABLE_HEADING = "Selecting Device"
COLUMN_HEADINGS = ["Device Name", "IP Address", "Access Mode", "Version"]
SELECTED_DEVICE_LABEL = "Selected Device"
# The captions as they stand on the buttons; a line break in a caption reads as a space.
BUTTON_CAPTIONS = [
    "Rescan",
    "Check LED",
    "See Settings",
    "Network Settings with ease",
    "Network Settings with custom",
    "Serial Port Settings",
    "Exit",
]
# The settings buttons are described by the text beside them (first words of each).
BUTTON_DESCRIPTIONS = {
    "Network Settings with ease": "Only selecting an access point",
    "Network Settings with custom": "You can set up KOV-SL47 in detail",
    "Serial Port Settings": "Set Baudrate and flow control",
}
ADAPTER_ADDRESSES = ["127.0.0.2", "127.0.0.3", "127.0.0.4"]
ADAPTER_VERSION = "4.00.1"
# The adapter whose LED is checked; not the first row, so that a press that went to the first
# adapter whatever was selected shows.
CHECKED_ADDRESS = "127.0.0.3"

ASAN_SUPPRESSIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                 "xcb.asan-suppressions")

HEARTBEAT_PORT = 55555
COMMAND_PORT = 2000


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def terminated(signal_number, frame):
    raise Failure("stopped by signal %d (the overall time limit?)" % signal_number)


class Deadline:
    def __init__(self, seconds):
        self.end = time.monotonic() + seconds

    def left(self):
        return self.end - time.monotonic()


def wait_for(what, probe, timeout, deadline, watched=()):
    """Polls probe until it returns a true value, and returns that value.

    Fails with "what" when the time is up or a watched process has ended. A probe that raises
    a GLib error (an object that went away while it was read) counts as not yet.
    """
    end = min(time.monotonic() + timeout, deadline.end)
    last_error = None
    while True:
        for process in watched:
            process.check_running()
        try:
            value = probe()
            if value:
                return value
        except GLib.GError as error:
            last_error = error
        if time.monotonic() >= end:
            message = "timed out after %.0f s waiting for %s" % (timeout, what)
            if deadline.left() <= 0:
                message += " (the overall limit of %d s is reached)" % OVERALL_LIMIT
            if last_error is not None:
                message += "; last accessibility error: %s" % last_error.message
            raise Failure(message)
        time.sleep(0.2)


class Process:
    """A child process whose output goes to a file of the work directory.

    With piped, its output comes through popen.stdout instead, and whoever reads it keeps the
    file.
    """

    def __init__(self, name, arguments, log_path, env=None, piped=False, pass_fds=()):
        self.name = name
        self.log_path = log_path
        self.log = None if piped else open(log_path, "wb")
        self.popen = subprocess.Popen(
            arguments,
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE if piped else self.log,
            stderr=subprocess.STDOUT,
            pass_fds=pass_fds,
        )
        self.pid = self.popen.pid

    def check_running(self):
        status = self.popen.poll()
        if status is not None:
            raise Failure("%s ended unexpectedly with status %d" % (self.name, status))

    def wait_for_exit(self, timeout):
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        """Ends the process if it still runs (SIGTERM, then SIGKILL); returns its status."""
        if self.popen.poll() is None:
            self.popen.terminate()
            if self.wait_for_exit(5) is None:
                self.popen.kill()
                self.popen.wait()
        if self.log is not None:
            self.log.close()
        return self.popen.returncode

    def output_tail(self, lines=40):
        try:
            with open(self.log_path, "rb") as log:
                text = log.read().decode("utf-8", "replace")
        except OSError:
            return ""
        return "\n".join(text.splitlines()[-lines:])


class SimulatorLog:
    """The simulator's standard output, read line by line as it comes."""

    LED_LINE = re.compile(r"^\S+ (\d+\.\d+\.\d+\.\d+) LED (on|off)$")

    def __init__(self, stream, copy_path):
        self.lines = []
        self.lock = threading.Lock()
        self.copy = open(copy_path, "w")
        self.reader = threading.Thread(target=self.read, args=(stream,), daemon=True)
        self.reader.start()

    def read(self, stream):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            with self.lock:
                self.lines.append(line)
                self.copy.write(line + "\n")
                self.copy.flush()

    def count(self):
        with self.lock:
            return len(self.lines)

    def find(self, pattern, start=0):
        with self.lock:
            return any(re.search(pattern, line) for line in self.lines[start:])

    def led_switches(self):
        """address -> the LED switches logged for it, in order ("on" or "off")."""
        switches = {}
        with self.lock:
            for line in self.lines:
                match = self.LED_LINE.match(line)
                if match:
                    switches.setdefault(match.group(1), []).append(match.group(2))
        return switches


# ---- Ports and servers ----


def check_ports_free():
    """The program and the simulator use fixed ports; say so plainly when one is taken."""
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        probe.bind(("0.0.0.0", HEARTBEAT_PORT))
    except OSError as error:
        raise Failure("UDP port %d is in use (%s): another search or simulator runs"
                      % (HEARTBEAT_PORT, error.strerror))
    finally:
        probe.close()
    for address in ADAPTER_ADDRESSES:
        probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            probe.bind((address, COMMAND_PORT))
        except OSError as error:
            raise Failure("TCP port %s:%d is in use (%s): another simulator runs"
                          % (address, COMMAND_PORT, error.strerror))
        finally:
            probe.close()


def start_x_server(workdir, processes, deadline):
    """Starts Xvfb on the first free display; returns the display name, e.g. ":1"."""
    read_end, write_end = os.pipe()
    server = Process("Xvfb", ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                              "-screen", "0", "1024x768x24"],
                     os.path.join(workdir, "xvfb.log"), pass_fds=(write_end,))
    processes.append(server)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb", buffering=0) as pipe:
        while not number.endswith(b"\n"):
            check(deadline.left() > 0, "Xvfb did not report its display")
            chunk = pipe.read(16)
            if not chunk:
                break
            number += chunk
    check(number.strip().isdigit(),
          "Xvfb did not start:\n" + server.output_tail())
    return ":" + number.strip().decode()


def start_simulator(arguments, workdir, processes, deadline):
    log_path = os.path.join(workdir, "simulator.log")
    simulator = Process("kov-simulator", [arguments.simulator, "--config", arguments.config],
                        log_path, piped=True)
    processes.append(simulator)
    log = SimulatorLog(simulator.popen.stdout, log_path)
    wait_for("the simulator to start its three adapters",
             lambda: log.find(r"^kov-simulator: 3 adapter\(s\)"), 10, deadline, [simulator])
    return simulator, log


def program_environment(display, runtime_dir):
    env = dict(os.environ)
    env.update({
        "DISPLAY": display,
        "QT_QPA_PLATFORM": "xcb",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "QT_ACCESSIBILITY": "1",
        "XDG_RUNTIME_DIR": runtime_dir,
        # The English texts, whatever the machine's language.
        "LC_ALL": "C.UTF-8",
        "LANG": "C.UTF-8",
    })
    env.pop("LANGUAGE", None)
    # The sanitizer options of scripts/test.sh, with the reports from the X keyboard library
    # left aside (see the file).
    asan_options = env.get("ASAN_OPTIONS", "abort_on_error=1:detect_leaks=1")
    env["ASAN_OPTIONS"] = asan_options + ":suppressions=" + ASAN_SUPPRESSIONS
    env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1")
    return env


# ---- The accessibility tree ----


def states_of(accessible):
    return set(accessible.getState().getStates())


def is_showing(accessible):
    states = states_of(accessible)
    return pyatspi.STATE_SHOWING in states and pyatspi.STATE_VISIBLE in states


def children(accessible):
    result = []
    for index in range(accessible.childCount):
        child = accessible.getChildAtIndex(index)
        if child is not None:
            result.append(child)
    return result


def descendants(accessible, depth=0):
    for child in children(accessible):
        yield child
        # The cells of the table are reached through its Table interface.
        if depth < 10 and child.getRole() != pyatspi.ROLE_TABLE:
            yield from descendants(child, depth + 1)


def relation_targets(accessible, relation_type):
    targets = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == relation_type:
            targets.extend(relation.getTarget(i) for i in range(relation.getNTargets()))
    return targets


def find_application(desktop, pid):
    for application in children(desktop):
        if application.name == PROGRAM_NAME and application.get_process_id() == pid:
            # Every property is asked anew: nothing here runs the events that would refresh
            # a cache.
            application.setCacheMask(pyatspi.cache.NONE)
            application.clearCache()
            return application
    return None


def window_named(application, title):
    for window in children(application):
        if window.name == title:
            return window
    return None


def showing_window(application, title):
    window = window_named(application, title)
    return window if window is not None and is_showing(window) else None


def window_texts(window):
    return [child.name for child in descendants(window) if child.name]


def press(accessible, what):
    action = accessible.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    presses = [i for i, name in enumerate(names) if name.lower() == "press"]
    check(presses, "%s offers no \"Press\" action; its actions: %s" % (what, names))
    check(action.doAction(presses[0]), "%s refused its \"Press\" action" % what)


def table_cells(table):
    return [[table.getAccessibleAt(row, column).name for column in range(table.nColumns)]
            for row in range(table.nRows)]


def text_of(accessible):
    text = accessible.queryText()
    return text.getText(0, text.characterCount)


# ---- The checks ----


def check_search_window(application, program, deadline):
    window = wait_for("the wait window \"%s\" to show at start" % SEARCH_WINDOW_TITLE,
                      lambda: showing_window(application, SEARCH_WINDOW_TITLE),
                      10, deadline, [program])
    texts = window_texts(window)
    check(any(SEARCH_WINDOW_TEXT in text for text in texts),
          "the search window reads %s, not \"%s\"" % (texts, SEARCH_WINDOW_TEXT))
    print("search window shown: %s" % texts)


def find_table(main_window):
    tables = [child for child in descendants(main_window)
              if child.getRole() == pyatspi.ROLE_TABLE]
    check(len(tables) == 1, "expected one table in the main window, found %d" % len(tables))
    return tables[0]


def wait_for_search_end(application, table, program, deadline):
    started = time.monotonic()
    wait_for("the search to end (the window \"%s\" to close)" % SEARCH_WINDOW_TITLE,
             lambda: showing_window(application, SEARCH_WINDOW_TITLE) is None,
             45, deadline, [program])
    print("search ended %.1f s after the search window was seen" % (time.monotonic() - started))
    # The rows are in before the window closes; a moment more is only for the bus.
    wait_for("rows in the device table after the search",
             lambda: table.queryTable().nRows > 0, 3, deadline, [program])


def check_device_table(main_window, table):
    heading = [child for child in descendants(main_window)
               if child.getRole() == pyatspi.ROLE_LABEL and child.name == TABLE_HEADING]
    check(heading, "no label \"%s\" in the main window" % TABLE_HEADING)
    labelled_by = [target.name for target in
                   relation_targets(table, pyatspi.RELATION_LABELLED_BY)]
    check(table.name == TABLE_HEADING or TABLE_HEADING in labelled_by,
          "the device table is not found under its heading \"%s\": its name is %r, labelled "
          "by %s" % (TABLE_HEADING, table.name, labelled_by))

    cells = table.queryTable()
    check(cells.nColumns == len(COLUMN_HEADINGS),
          "the device table has %d columns, expected %d" % (cells.nColumns,
                                                           len(COLUMN_HEADINGS)))
    headers = []
    for column in range(cells.nColumns):
        header = cells.getColumnHeader(column)
        headers.append(header.name if header is not None else None)
    check(headers == COLUMN_HEADINGS,
          "the column headings read %s, expected %s" % (headers, COLUMN_HEADINGS))

    rows = table_cells(cells)
    print("device table: %s" % headers)
    for row in rows:
        print("  %s" % row)
    check(len(rows) == len(ADAPTER_ADDRESSES),
          "the device table has %d rows, expected %d: %s"
          % (len(rows), len(ADAPTER_ADDRESSES), rows))
    address_column = COLUMN_HEADINGS.index("IP Address")
    addresses = sorted(row[address_column] for row in rows)
    check(addresses == ADAPTER_ADDRESSES,
          "the device table lists the addresses %s, expected %s"
          % (addresses, ADAPTER_ADDRESSES))
    name_column = COLUMN_HEADINGS.index("Device Name")
    version_column = COLUMN_HEADINGS.index("Version")
    for row in rows:
        check(row[name_column], "the adapter at %s has no name in the table" % row[address_column])
        check(row[version_column] == ADAPTER_VERSION,
              "the adapter at %s reads version %r, expected %s"
              % (row[address_column], row[version_column], ADAPTER_VERSION))
    return rows


def find_buttons(main_window):
    buttons = [child for child in descendants(main_window)
               if child.getRole() == pyatspi.ROLE_PUSH_BUTTON]
    names = [button.name for button in buttons]
    check(all(names), "a button of the main window has no accessible name: %s" % names)
    found = {}
    for caption in BUTTON_CAPTIONS:
        matching = [button for button in buttons if button.name == caption]
        check(len(matching) == 1,
              "expected one button \"%s\", found %d among %s" % (caption, len(matching), names))
        check(is_showing(matching[0]), "the button \"%s\" is not showing" % caption)
        # With adapters in the list every task is open.
        check(pyatspi.STATE_ENABLED in states_of(matching[0]),
              "the button \"%s\" is disabled with adapters in the list" % caption)
        found[caption] = matching[0]
    for caption, beginning in BUTTON_DESCRIPTIONS.items():
        description = found[caption].description
        check(description.startswith(beginning),
              "the button \"%s\" is described as %r, expected the text beside it (\"%s...\")"
              % (caption, description, beginning))
    unknown = [name for name in names if name not in BUTTON_CAPTIONS]
    check(not unknown, "buttons with unexpected names: %s" % unknown)
    print("buttons: %s" % names)
    return found


def find_selected_device_field(main_window):
    controls = list(descendants(main_window))
    labels = [child for child in controls
              if child.getRole() == pyatspi.ROLE_LABEL and child.name == SELECTED_DEVICE_LABEL]
    check(labels, "no label \"%s\" in the main window" % SELECTED_DEVICE_LABEL)
    fields = []
    for child in controls:
        if child.getRole() not in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY):
            continue
        labelled_by = [target.name for target in
                       relation_targets(child, pyatspi.RELATION_LABELLED_BY)]
        if child.name == SELECTED_DEVICE_LABEL or SELECTED_DEVICE_LABEL in labelled_by:
            fields.append(child)
    names = [(child.getRoleName(), child.name) for child in controls
             if child.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY)]
    check(len(fields) == 1,
          "expected one text field found under \"%s\", found %d; the text fields: %s"
          % (SELECTED_DEVICE_LABEL, len(fields), names))
    return fields[0]


def select_row(table, row, field, expected_name, deadline):
    cells = table.queryTable()
    for selected in cells.getSelectedRows():
        cells.removeRowSelection(selected)
    check(cells.addRowSelection(row), "the device table refused to select row %d" % row)
    wait_for("row %d alone to be selected" % row,
             lambda: list(cells.getSelectedRows()) == [row], 5, deadline)
    wait_for("the \"%s\" field to read %r" % (SELECTED_DEVICE_LABEL, expected_name),
             lambda: text_of(field) == expected_name, 5, deadline)
    print("selected row %d: \"%s\" reads %r" % (row, SELECTED_DEVICE_LABEL, text_of(field)))


def check_led_blinks(application, button, log, program, deadline):
    pressed_at = log.count()
    press(button, "the button \"Check LED\"")
    wait_for("the wait window \"%s\" to show" % BLINK_WINDOW_TITLE,
             lambda: showing_window(application, BLINK_WINDOW_TITLE), 10, deadline, [program])
    started = time.monotonic()
    wait_for("the wait window \"%s\" to close" % BLINK_WINDOW_TITLE,
             lambda: showing_window(application, BLINK_WINDOW_TITLE) is None,
             30, deadline, [program])
    print("blinking took %.1f s" % (time.monotonic() - started))
    # The program closes its connection after the last switch; from then on the log is whole.
    wait_for("the program to close its connection to the adapter",
             lambda: log.find(r"^\S+ \S+ #\d+ closed$", pressed_at), 5, deadline, [program])

    switches = log.led_switches()
    print("LED switches: %s" % switches)
    checked = switches.get(CHECKED_ADDRESS, [])
    check(checked, "the LED of %s never switched; the switches logged: %s"
                   % (CHECKED_ADDRESS, switches))
    expected = ["on", "off"] * (len(checked) // 2)
    check(checked == expected,
          "the LED of %s switched %s; expected on and off by turns, ending off"
          % (CHECKED_ADDRESS, checked))
    others = {address: history for address, history in switches.items()
              if address != CHECKED_ADDRESS}
    check(not others, "LEDs of adapters that were not selected switched: %s" % others)


def exit_program(button, program):
    try:
        press(button, "the button \"Exit\"")
    except GLib.GError:
        pass  # the program may end before its answer to the press goes out
    status = program.wait_for_exit(15)
    check(status is not None, "the program did not end within 15 s of \"Exit\"")
    check(status == 0, "the program ended with status %d after \"Exit\" "
                       "(a sanitizer report?):\n%s" % (status, program.output_tail()))


def run(arguments, processes):
    deadline = Deadline(OVERALL_LIMIT)
    runtime_dir = os.environ.get("XDG_RUNTIME_DIR", "")
    check(runtime_dir.startswith(arguments.workdir),
          "XDG_RUNTIME_DIR (%r) is not the private directory under %s"
          % (runtime_dir, arguments.workdir))
    check("DBUS_SESSION_BUS_ADDRESS" in os.environ, "no session bus: run under dbus-run-session")

    check_ports_free()
    display = start_x_server(arguments.workdir, processes, deadline)
    simulator, log = start_simulator(arguments, arguments.workdir, processes, deadline)

    # The program joins the accessibility bus at start only if the bus is up by then; the first
    # question asked on it starts it.
    desktop = pyatspi.Registry.getDesktop(0)
    print("applications on the accessibility bus before the start: %d" % desktop.childCount)

    program = Process(PROGRAM_NAME, [arguments.program],
                      os.path.join(arguments.workdir, "program.log"),
                      env=program_environment(display, runtime_dir))
    processes.append(program)
    application = wait_for("the program to appear on the accessibility bus",
                           lambda: find_application(desktop, program.pid),
                           20, deadline, [program])
    main_window = wait_for("the main window \"%s\"" % MAIN_WINDOW_TITLE,
                           lambda: showing_window(application, MAIN_WINDOW_TITLE),
                           10, deadline, [program])
    print("main window: %r" % main_window.name)

    check_search_window(application, program, deadline)
    table = find_table(main_window)
    wait_for_search_end(application, table, program, deadline)
    rows = check_device_table(main_window, table)

    buttons = find_buttons(main_window)
    field = find_selected_device_field(main_window)
    address_column = COLUMN_HEADINGS.index("IP Address")
    name_column = COLUMN_HEADINGS.index("Device Name")
    row = [r[address_column] for r in rows].index(CHECKED_ADDRESS)
    select_row(table, row, field, rows[row][name_column], deadline)

    check_led_blinks(application, buttons["Check LED"], log, program, deadline)
    exit_program(buttons["Exit"], program)

    status = simulator.stop()
    check(status == 0, "the simulator ended with status %d:\n%s"
                       % (status, simulator.output_tail()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the KOVSL47 executable")
    parser.add_argument("--simulator", required=True, help="the kov-simulator executable")
    parser.add_argument("--config", required=True, help="the simulator's network")
    parser.add_argument("--workdir", required=True, help="a private directory for the logs")
    arguments = parser.parse_args()

    signal.signal(signal.SIGTERM, terminated)
    signal.signal(signal.SIGINT, terminated)
    processes = []
    started = time.monotonic()
    try:
        run(arguments, processes)
    except Failure as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
        for process in processes:
            tail = process.output_tail()
            if tail:
                print("---- %s output (last lines) ----\n%s" % (process.name, tail),
                      file=sys.stderr)
        return 1
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        for process in reversed(processes):
            process.stop()
    print("PASS in %.1f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
