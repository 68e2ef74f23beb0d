"""Lumenstra against two emulated controllers on a real X server: its window
shows on the accessibility bus with its title and both controllers' titles,
its view buttons switch pages when clicked, and its close button ends the
program with code 0 and the exit sequence on the wire."""

import sys

import harness

TITLE = "Ostmar Pellan KV 6000 Series_RGB_LED"
# The demo updaters carry 1.2.7: controllers that run it get no update offer.
DEVICES = ["standard,fw=1.2.7", "led5,fw=1.2.7,name=Top card"]


def test(session):
    session.start_devsim(DEVICES)
    lumenstra = session.start_program("lumenstra")
    window = session.wait_for_window(lumenstra, TITLE)
    x, y, width, height = session.extents(window)
    if width <= 0 or height <= 0:
        raise harness.Failure("the window has no size on the screen: %r" % ((x, y, width, height),))
    # The standard controller is selected and read back first; its title stands on the device button.
    session.find(window, key="BUTTON_DEV_TITLE", timeout=20)
    session.screenshot("main-window")
    session.click(session.find(window, key="BUTTON_LIBRARY"))
    session.screenshot("about-view")
    session.trace(clear=True)
    session.click(session.find(window, key="BUTTON_CLOSE"))
    code = session.wait_for_exit(lumenstra)
    if code != 0:
        raise harness.Failure("lumenstra ended with %s" % code)
    session.save_trace("trace-at-close")


if __name__ == "__main__":
    sys.exit(harness.main(test))
