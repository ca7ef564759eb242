#!/usr/bin/python3
"""Takes the README's screenshots from the running application.

    scripts/take-screenshots.py BUILD/src/folionest LIBRARY OUTDIR

Starts its own X server (1920x1080), D-Bus session and accessibility bus, runs Folionest on a
copy of LIBRARY, drives it with the keyboard (xdotool) and by control names (the accessibility
bus), and writes PNG files to OUTDIR. Needs xvfb, xdotool, imagemagick, at-spi2-core and
python3-pyatspi. Make a library with scripts/make-sample-library.sh.
"""
import os, shutil, subprocess, sys, tempfile, time

if len(sys.argv) < 4:
    sys.exit(__doc__)
if os.environ.get("SHOTS_SESSION") != "1":
    script = ("Xvfb :78 -screen 0 1920x1080x24 >/dev/null 2>&1 & XP=$!; sleep 1; "
              "/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & AP=$!; sleep 1; "
              "SHOTS_SESSION=1 DISPLAY=:78 \"$@\"; rc=$?; kill $AP $XP 2>/dev/null; exit $rc")
    os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)
    sys.exit(subprocess.run(["dbus-run-session", "--", "bash", "-c", script, "x", sys.executable, *sys.argv]).returncode)

import pyatspi

app_path, library, outdir = sys.argv[1:4]
os.makedirs(outdir, exist_ok=True)
work = tempfile.mkdtemp(prefix="shots.")
shutil.copytree(library, os.path.join(work, "lib"))
env = dict(os.environ, FOLIONEST_CONTAINER=os.path.join(work, "lib"), QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
           QT_ACCESSIBILITY="1", XDG_CONFIG_HOME=os.path.join(work, "config"))
env.pop("QT_QPA_PLATFORM", None)
app = subprocess.Popen([app_path], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def sh(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout.strip()


def key(*keys):
    for k in keys:
        sh("xdotool", "key", "--clearmodifiers", k)
        time.sleep(0.4)


def root():
    desk = pyatspi.Registry.getDesktop(0)
    for i in range(desk.childCount):
        a = desk.getChildAtIndex(i)
        if a is not None and a.get_process_id() == app.pid:
            return a
    return None


def find(node, role, name):
    try:
        if node.getRoleName() == role and node.name == name and node.getState().contains(pyatspi.STATE_SHOWING):
            return node
        for i in range(node.childCount):
            found = find(node.getChildAtIndex(i), role, name)
            if found:
                return found
    except Exception:
        return None
    return None


def click(role, name, modifier=None):
    node = find(root(), role, name)
    if node is None:
        sys.exit(f"no {role} named {name!r} on screen")
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    sh("xdotool", "mousemove", str(box.x + box.width // 2), str(box.y + box.height // 2))
    if modifier:
        sh("xdotool", "keydown", modifier, "click", "1", "keyup", modifier)
    else:
        sh("xdotool", "click", "1")
    time.sleep(0.8)


CONTROLS = {"push button", "toggle button", "check box", "radio button", "menu item", "combo box", "text", "slider"}


def report_unnamed(where):
    """Prints the controls on screen a screen reader could not name."""
    found = []

    def walk(n):
        try:
            if n.getRoleName() in CONTROLS and not n.name.strip() and n.getState().contains(pyatspi.STATE_SHOWING):
                found.append(n.getRoleName())
            for i in range(min(n.childCount, 200)):
                walk(n.getChildAtIndex(i))
        except Exception:
            pass

    walk(root())
    print(f"{where}: {len(found)} control(s) without an accessible name {found if found else ''}")


def shoot(name, window_only=True):
    path = os.path.join(outdir, name)
    if window_only:
        wid = sh("xdotool", "search", "--onlyvisible", "--name", "^Folionest$").split()[0]
        sh("import", "-window", wid, path)
    else:
        sh("import", "-window", "root", path)
    print(path)


for _ in range(60):
    time.sleep(0.5)
    r = root()
    if r is not None and r.childCount:
        break
time.sleep(2)
wid = sh("xdotool", "search", "--onlyvisible", "--name", "^Folionest$").split()[0]
subprocess.run(["xdotool", "windowfocus", "--sync", wid], capture_output=True)
sh("xdotool", "windowsize", "--sync", wid, "1200", "800")
time.sleep(1)

# The window at its default size, one item shown in full.
key("ctrl+f", "Down", "Right", "Right")
time.sleep(1.5)
shoot("window-1200.png")
report_unnamed("main window")

# The File menu.
key("alt+f")
time.sleep(0.5)
sh("import", "-window", "root", "-crop", "1200x800+0+0", os.path.join(outdir, "menu-file.png"))
print(os.path.join(outdir, "menu-file.png"))
key("Escape")

# The folder editor.
key("ctrl+shift+n")
sh("xdotool", "type", "--delay", "40", "Reading list")
time.sleep(0.8)
report_unnamed("folder editor")
sh("import", "-window", "root", "-crop", "1200x800+0+0", os.path.join(outdir, "sheet-folder.png"))
print(os.path.join(outdir, "sheet-folder.png"))
key("Escape")

# The tag picker of the item shown.
click("push button", "Add Tag")
report_unnamed("tag picker")
sh("import", "-window", "root", "-crop", "1200x800+0+0", os.path.join(outdir, "sheet-tags.png"))
print(os.path.join(outdir, "sheet-tags.png"))
click("push button", "Done")

# Wide, with several items selected.
sh("xdotool", "windowsize", "--sync", wid, "1920", "1080")
time.sleep(1)
click("list item", "Glacier")
for title in ("Blossoms", "Harbour_at_Dusk", "Coastal Trail Map", "Growing Tomatoes on a Balcony"):
    click("list item", title, "ctrl")
time.sleep(1.5)
report_unnamed("several items selected")
shoot("window-1920-selection.png")

# The settings window, its privacy page and the export sheet.
key("ctrl+comma")
time.sleep(2)
sid = sh("xdotool", "search", "--onlyvisible", "--name", "^Settings$").split()[0]
sh("xdotool", "windowsize", "--sync", sid, "560", "760")
time.sleep(1)
report_unnamed("settings window")
sh("import", "-window", sid, os.path.join(outdir, "settings.png"))
print(os.path.join(outdir, "settings.png"))
click("push button", "Privacy & Security")
report_unnamed("privacy page")
sh("import", "-window", sid, os.path.join(outdir, "settings-privacy.png"))
print(os.path.join(outdir, "settings-privacy.png"))
click("push button", "Back to Settings")
click("push button", "Export Data")
time.sleep(1)
report_unnamed("export sheet")
eid = sh("xdotool", "search", "--onlyvisible", "--name", "^Export$").split()[0]
sh("import", "-window", eid, os.path.join(outdir, "sheet-export.png"))
print(os.path.join(outdir, "sheet-export.png"))
key("Escape")

app.terminate()
app.wait(5)
shutil.rmtree(work, ignore_errors=True)
