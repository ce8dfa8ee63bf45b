#!/usr/bin/python3
"""A stand-in for the Morvalen product's window: a plain X window that prints its id in
hexadecimal without prefix (as the product passes it on the command line), then stays until
it is killed or the display goes. Uses Debian's python3-xlib."""
import sys

from Xlib import X, display


def main():
    width = int(sys.argv[1]) if len(sys.argv) > 1 else 632
    height = int(sys.argv[2]) if len(sys.argv) > 2 else 266
    d = display.Display()
    screen = d.screen()
    window = screen.root.create_window(
        0, 0, width, height, 0, screen.root_depth, X.InputOutput, X.CopyFromParent,
        background_pixel=screen.white_pixel, event_mask=X.StructureNotifyMask)
    window.set_wm_name("Morvalen")
    window.map()
    d.sync()
    print("%x" % window.id, flush=True)
    while True:
        d.next_event()


if __name__ == "__main__":
    main()
