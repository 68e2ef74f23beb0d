"""Lumenstra against two emulated controllers on a real X server: its window
shows on the accessibility bus with its title, and closing it ends the program
with code 0."""

import sys

import harness

TITLE = "Ostmar Pellan KV 6000 Series_RGB_LED"


def test(session):
    session.start_devsim(["standard", "led5,name=Top card"])
    lumenstra = session.start_program("lumenstra")
    window = session.wait_for_window(lumenstra, TITLE)
    x, y, width, height = session.extents(window)
    if width <= 0 or height <= 0:
        raise harness.Failure("the window has no size on the screen: %r" % ((x, y, width, height),))
    session.screenshot("main-window")
    session.save_trace("trace-at-start")
    session.close_window(lumenstra, TITLE)
    code = session.wait_for_exit(lumenstra)
    if code != 0:
        raise harness.Failure("lumenstra ended with %s" % code)


if __name__ == "__main__":
    sys.exit(harness.main(test))
