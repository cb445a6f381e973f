#!/usr/bin/python3
"""A drop target for the end-to-end drag test: a GTK 3 window that accepts text/uri-list
drops, the way a file manager or a DAW's track does.

usage: drop_target.py X Y WIDTH HEIGHT OUT_FILE

Opens an undecorated window at X,Y, prints "ready <xid>" once it is shown and "motion X Y" for
every position a drag over it reports, then waits for one drop. Every URI of the drop goes to
OUT_FILE and to standard output ("uri <uri>"), one a line, then the program exits with status 0.
"""

import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("GdkX11", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GdkX11, Gtk  # noqa: E402,F401  (GdkX11 gives windows get_xid)


def main():
    x, y, width, height = (int(v) for v in sys.argv[1:5])
    out_path = sys.argv[5]

    window = Gtk.Window(title="Quorvel drop target")
    window.set_decorated(False)
    window.set_default_size(width, height)
    window.move(x, y)
    window.connect("destroy", Gtk.main_quit)

    # Copy is the only action the program offers.
    window.drag_dest_set(Gtk.DestDefaults.ALL, [], Gdk.DragAction.COPY)
    window.drag_dest_add_uri_targets()

    def received(_widget, _context, _x, _y, data, _info, _time):
        uris = data.get_uris() or []
        with open(out_path, "w", encoding="utf-8") as out:
            out.writelines(uri + "\n" for uri in uris)
        for uri in uris:
            print("uri", uri, flush=True)
        # Leave once GTK has answered the drop (DestDefaults.ALL finishes it after this handler).
        Gtk.main_quit()

    window.connect("drag-data-received", received)

    # Each position message of the drag: the test releases the button only once the program
    # has had an answer to one (it sends the next position only after the answer).
    def motion(_widget, _context, x, y, _time):
        print("motion", x, y, flush=True)
        return False

    window.connect("drag-motion", motion)

    def shown(_widget, _event):
        print("ready", window.get_window().get_xid(), flush=True)
        return False

    window.connect("map-event", shown)
    window.show_all()
    Gtk.main()

    # The drop's answer to the program is only queued when the loop ends: send it before leaving.
    Gdk.Display.get_default().sync()


if __name__ == "__main__":
    main()
