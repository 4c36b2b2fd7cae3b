#!/usr/bin/python3
# A GTK 3 window with two text entries and a button, for the desktop keyboard's focus tests.
# Prints "window 0xXID" once shown, "focused NAME" when a widget has taken the focus and
# "text NAME TEXT" when an entry's text changes; reads "focus first|second|button" lines.
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("GdkX11", "3.0")
from gi.repository import GdkX11, GLib, Gtk  # noqa: E402,F401


def say(line):
    print(line, flush=True)


window = Gtk.Window(title="textfields")
window.set_default_size(360, 150)
window.move(10, 10)
box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=6)
widgets = {"first": Gtk.Entry(), "second": Gtk.Entry(), "button": Gtk.Button(label="Button")}
for name, widget in widgets.items():
    box.pack_start(widget, False, False, 0)
    widget.connect("focus-in-event", lambda w, e, n=name: say("focused " + n) and False)
    if isinstance(widget, Gtk.Entry):
        widget.connect("changed", lambda w, n=name: say("text %s %s" % (n, w.get_text())))
window.add(box)
window.connect("destroy", Gtk.main_quit)
window.show_all()


def command(source, condition):
    line = sys.stdin.readline()
    if not line:
        Gtk.main_quit()
        return False
    words = line.split()
    if len(words) == 2 and words[0] == "focus" and words[1] in widgets:
        widget = widgets[words[1]]
        if widget.is_focus():
            say("focused " + words[1])  # no focus-in to wait for
        widget.grab_focus()
    return True


GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
say("window %#x" % window.get_window().get_xid())
Gtk.main()
