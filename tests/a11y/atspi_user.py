"""What the accessibility tests of this folder share: they drive the real
program as a screen reader and a keyboard-only user do, over the accessibility
bus that scripts/with-a11y-bus.sh sets up (a private X display without a
window manager).

Importing it exits with 77 (a skip for ctest) when pyatspi is missing.
"""

import contextlib
import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import GLib
    import pyatspi
except (ImportError, ValueError) as error:
    print(f"skipped: {error} (python3-pyatspi)", file=sys.stderr)
    sys.exit(77)

LOOPBACK = "Orvalis Loopback"

# Keys are typed by their keycodes, as a keyboard does (a key synthesized by
# its symbol may lose the modifiers held with it). The codes come from the
# display's keymap; these are the usual ones.
KEYCODES = {"Tab": 23, "Return": 36, "Escape": 9, "Up": 111, "Menu": 135, "Control_L": 37, "Alt_L": 64,
            "a": 38, "b": 56, "e": 26, "f": 41, "i": 31, "j": 44, "l": 46, "o": 32, "q": 24,
            "r": 27, "s": 39, "t": 28}

failures = []


def check(condition, what):
    if condition:
        print(f"ok: {what}")
    else:
        print(f"FAILED: {what}")
        failures.append(what)
    return condition


def pump(seconds):
    """Lets the bus deliver events for a while."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if not context.iteration(False):
            time.sleep(0.01)


def wait_for(predicate, timeout=10.0):
    """Polls predicate (pumping events) until it is true or the time is up."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except Exception:  # an object that went away while being read
            value = None
        if value or time.monotonic() >= end:
            return value
        pump(0.05)


_held_display = None


def hold_display():
    """Keeps a connection to the display for the whole test. An X server left
    without clients resets itself and meanwhile refuses new ones: the program
    started just after a short-lived client (xkbcomp) would fail to start."""
    global _held_display
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    _held_display = x11.XOpenDisplay(None)


def read_keycodes():
    """The keycodes of the keys the test types, from the display's keymap."""
    try:
        keymap = subprocess.run(["xkbcomp", "-xkb", os.environ["DISPLAY"], "-"],
                                capture_output=True, text=True, timeout=10).stdout
    except (OSError, subprocess.SubprocessError):
        return
    codes = {name: int(code) for name, code in re.findall(r"<(\w+)>\s*=\s*(\d+)\s*;", keymap)}
    found = {}
    for name, body in re.findall(r"key\s+<(\w+)>\s*\{([^}]*)\}", keymap):
        first = re.search(r"\[\s*([^,\]\s]+)", body)
        if first and name in codes:
            found.setdefault(first.group(1), codes[name])
    for symbol in KEYCODES:
        if symbol in found:
            KEYCODES[symbol] = found[symbol]


def key(symbol):
    pyatspi.Registry.generateKeyboardEvent(KEYCODES[symbol], None, pyatspi.KEY_PRESSRELEASE)
    pump(0.1)


def chord(modifier, symbol):
    """Holds a modifier key ("Control_L", "Alt_L") while a key is pressed."""
    # As a hand does, with time for the window to act on the key (open a
    # menu) before the modifier comes up.
    code = KEYCODES[modifier]
    pyatspi.Registry.generateKeyboardEvent(code, None, pyatspi.KEY_PRESS)
    pump(0.1)
    try:
        pyatspi.Registry.generateKeyboardEvent(KEYCODES[symbol], None, pyatspi.KEY_PRESS)
        pump(0.3)
        pyatspi.Registry.generateKeyboardEvent(KEYCODES[symbol], None, pyatspi.KEY_RELEASE)
        pump(0.1)
    finally:
        pyatspi.Registry.generateKeyboardEvent(code, None, pyatspi.KEY_RELEASE)
    pump(0.2)


def activate_window(title):
    """Gives the keyboard focus to the top-level window of that title, as a
    window manager does when the user picks a window (the private display
    has no window manager)."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                               ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                               ctypes.POINTER(ctypes.c_uint)]
    x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
    x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
    x11.XRaiseWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        return False
    try:
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children = ctypes.POINTER(ctypes.c_ulong)()
        count = ctypes.c_uint()
        if not x11.XQueryTree(display, x11.XDefaultRootWindow(display), ctypes.byref(root), ctypes.byref(parent),
                              ctypes.byref(children), ctypes.byref(count)):
            return False
        found = False
        for i in range(count.value):
            name = ctypes.c_char_p()
            if x11.XFetchName(display, children[i], ctypes.byref(name)) and name.value:
                matches = name.value.decode("utf-8", "replace") == title
                x11.XFree(name)
                if matches:
                    x11.XRaiseWindow(display, children[i])
                    x11.XSetInputFocus(display, children[i], 2, 0)  # RevertToParent, CurrentTime
                    found = True
                    break
        if children:
            x11.XFree(children)
        x11.XFlush(display)
        return found
    finally:
        x11.XCloseDisplay(display)


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid and app.childCount > 0:
                return app
        except Exception:
            pass
    return None


def started_main_window(pid):
    """The program that runs as `pid` and its main window, once it shows on
    the bus with the loopback open both ways; (None, None) otherwise (the
    failed check says why)."""
    app = wait_for(lambda: find_app(pid), timeout=30)
    if not check(app is not None, "the program shows on the accessibility bus"):
        return None, None
    frame = wait_for(lambda: find(app, "frame", "Orvalis"), timeout=20)
    if not check(frame is not None, "its main window is the frame 'Orvalis'"):
        return None, None
    started = wait_for(lambda: find(frame, "image", "Port MidiOut").description == "ouvert (Port MidiOut ouvert)"
                       and find(frame, "spin button", "Vélocité") is not None, timeout=20)
    if not check(started, "the window has started: the loopback is open both ways"):
        return None, None
    return app, frame


def descendants(root):
    found = []
    stack = [root]
    while stack:
        node = stack.pop()
        if node is None:
            continue
        found.append(node)
        try:
            stack.extend(node[i] for i in range(node.childCount))
        except Exception:
            pass
    return found


def index(root):
    """Every object under root by role and name (a walk over the bus is slow:
    done once per window)."""
    found = {}
    for node in descendants(root):
        try:
            found.setdefault((node.getRoleName(), node.name), []).append(node)
        except Exception:
            pass
    return found


def find(root, role, name):
    nodes = index(root).get((role, name), [])
    return nodes[0] if nodes else None


def labelled_by(node):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def states(node):
    return node.getState()


def text_of(node):
    return node.queryText().getText(0, -1)


def program_folder(exe):
    """A folder of its own holding a copy of the program: the preferences
    file that a test writes beside it is the one the program reads."""
    work = tempfile.mkdtemp(prefix="orvalis-a11y-")
    program = os.path.join(work, "orvalis")
    shutil.copy(exe, program)
    return work, program


@contextlib.contextmanager
def running(program, work, env=None):
    """Runs the program; afterwards stops it if it still runs and removes
    its folder."""
    process = subprocess.Popen([program], cwd=work, env=env)
    try:
        yield process
    finally:
        if process.poll() is None:
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(work, ignore_errors=True)


def outcome():
    """The exit status of a test: 1 when a check failed."""
    if failures:
        print(f"{len(failures)} check(s) failed", file=sys.stderr)
        return 1
    return 0
