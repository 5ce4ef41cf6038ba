"""The panel's main window as a screen reader reads it, over AT-SPI.

    main_window_atspi.py TITLE

Finds the window titled TITLE on the accessibility bus, checks what each
control showing in it says (names, roles, the labels' relations, no internal
identifiers, no focus below the window's edge), then works the window as a
screen reader's user would, through the controls' own actions: START, STOP
and G-B-C, listening to the descriptions the panel announces, until the
block-count query has failed (the node is down). Exits 1 with every problem
found, 0 when there are none.
"""

import re
import sys
import time

import pyatspi
from gi.repository import GLib

TITLE = sys.argv[1]
# Bounds for a loaded machine; none of them is a measurement.
FIND_S = 60
WORK_S = 180

problems = []


def problem(text):
    problems.append(text)


def finish():
    for text in problems:
        print("main_window_atspi: " + text, file=sys.stderr)
    sys.exit(1 if problems else 0)


def find_window():
    deadline = time.monotonic() + FIND_S
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            for window in app or []:
                if window is not None and window.name == TITLE:
                    return window
        time.sleep(0.1)
    problem(f'no window "{TITLE}" on the accessibility bus after {FIND_S} s')
    finish()


def extents(accessible):
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.x + box.width, box.y + box.height


def overlaps(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def has(accessible, state):
    return accessible.getState().contains(state)


def describe(accessible):
    return f'{accessible.getRoleName()} "{accessible.name}"'


window = find_window()
frame = extents(window)
if window.getRoleName() != "frame":
    problem(f"the window reads as a {window.getRoleName()}, not as a frame")
controls = [child for child in window if child is not None]
showing = [c for c in controls if has(c, pyatspi.STATE_SHOWING) and overlaps(extents(c), frame)]
below = [c for c in controls if c not in showing]
if len(showing) < 20 or len(below) < 10:
    problem(f"{len(showing)} controls in the window and {len(below)} below its edge")

# Every showing control but a label says what it is; nothing reads out an
# identifier (a control's objectName) as its name or description.
identifier = re.compile(r"^[A-Za-z0-9]+(_[A-Za-z0-9]+)+$")
for control in showing:
    if control.getRoleName() != "label" and not control.name.strip():
        problem(f"a showing {control.getRoleName()} has no name")
for control in controls:
    for said in (control.name, control.description):
        if identifier.match(said):
            problem(f'{describe(control)} reads out the identifier "{said}"')
# The focus is on a showing control from the start, never below the edge.
focused = [describe(c) for c in showing if has(c, pyatspi.STATE_FOCUSED)]
if len(focused) != 1:
    problem(f"focused at the start: {focused}")
for control in below:
    if has(control, pyatspi.STATE_FOCUSABLE):
        problem(f"{describe(control)} lies below the window's edge and takes the focus")


def named(name, role):
    found = [c for c in showing if c.name == name and c.getRoleName() == role]
    if len(found) != 1:
        problem(f'{len(found)} showing {role}s named "{name}"')
        finish()
    return found[0]


# The status boxes are named by their labels, which label them.
for name in ("Current Block", "Connections"):
    box = named(name, "text")
    labels = [
        relation.getTarget(i).name
        for relation in box.getRelationSet()
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
        for i in range(relation.getNTargets())
    ]
    if labels != [name + ":"]:
        problem(f'"{name}" is labelled by {labels}')
    if has(box, pyatspi.STATE_FOCUSABLE):
        problem(f'the read-only "{name}" takes the focus')
    value = box.queryText().getText(0, -1)
    if value != "-- -- -- -- -- -- --":
        problem(f'"{name}" reads "{value}" before any query')
block = named("Current Block", "text")
countdown = named("Countdown", "text")
for name in ("Wallet program", "Daemon program"):
    named(name, "text")
start = named("START", "push button")
gbc = named("G-B-C", "push button")

# The work: START, then STOP once the countdown says it counts, then G-B-C
# once it says it stopped; done when the block count's query has failed.
heard = []  # (control, description) as announced


def press(button):
    button.queryAction().doAction(0)


def on_description(event):
    source = event.source
    said = source.description
    heard.append((source.name, said))
    if source == countdown and said == "counting down":
        press(start)  # now "STOP"
    elif source == countdown and said == "stopped":
        press(gbc)
    elif source == block and said.startswith("failed: "):
        pyatspi.Registry.stop()


def give_up():
    problem(f"no failed query after {WORK_S} s")
    pyatspi.Registry.stop()
    return False


pyatspi.Registry.registerEventListener(
    on_description, "object:property-change:accessible-description"
)
GLib.idle_add(lambda: press(start) and False)
GLib.timeout_add_seconds(WORK_S, give_up)
pyatspi.Registry.start()

said_of = {}
for name, said in heard:
    said_of.setdefault(name, []).append(said)
countdown_said = said_of.get("Countdown", [])
if countdown_said[:2] != ["counting down", "stopped"]:
    problem(f"the countdown said {countdown_said}")
block_said = said_of.get("Current Block", [])
expected = ["query requested", "query running"]
if block_said[:2] != expected or not block_said[-1].startswith("failed: "):
    problem(f"Current Block said {block_said}")
elif "Could not connect to the server" not in block_said[-1]:
    problem(f"the failure does not give the client's words: {block_said[-1]}")
# A screen reader reads the description on demand too.
if not block.description.startswith("failed: "):
    problem(f'Current Block reads "{block.description}" after the failure')
finish()
