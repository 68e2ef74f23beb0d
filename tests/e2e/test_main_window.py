"""Lumenstra against two emulated controllers on a real X server: its window
shows on the accessibility bus with its title and both controllers' titles,
an effect and a colour channel chosen on the effect page and applied are what
the controller runs afterwards, its view buttons switch pages when clicked,
and its close button ends the program with code 0 and the exit sequence on
the wire."""

import json
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
    # The effect page: breathing, red 255 and (Tab) green 40 typed into the channel fields, then Apply.
    session.click(session.find(window, key="BUTTON_MENU_8"))
    session.click(session.find(window, key="EDIT_R"))
    session.key("ctrl+a")
    session.type_text("255")
    session.key("Tab")
    session.key("ctrl+a")
    session.type_text("40")
    session.key("Return")
    session.trace(clear=True)
    session.click(session.find(window, key="BUTTON_APPLY"))
    session.wait_for_trace(lambda records: any(r.cmd == "50" and r.key == "55" for r in records),
                           "the whole configuration written", timeout=30)
    session.screenshot("effect-page-applied")
    session.click(session.find(window, key="BUTTON_LIBRARY"))
    session.screenshot("about-view")
    session.trace(clear=True)
    session.click(session.find(window, key="BUTTON_CLOSE"))
    code = session.wait_for_exit(lumenstra)
    if code != 0:
        raise harness.Failure("lumenstra ended with %s" % code)
    session.save_trace("trace-at-close")
    # What the controller runs now, read back without changing it.
    reader = session.start_program("lumenstra-cli", "read", "--family", "standard", "--device", "0", "--json",
                                   stdout=True)
    code = session.wait_for_exit(reader, timeout=30)
    output = session.output_of(reader)
    if code != 0:
        raise harness.Failure("lumenstra-cli read ended with %s: %s" % (code, output))
    zones = json.loads(output)["zones"]
    main = zones[0]
    if main.get("effect") not in ("breathe", "mode_01") or main.get("color") != "FF2800":
        raise harness.Failure("the controller runs %r, not breathing in FF2800" % (main,))


if __name__ == "__main__":
    sys.exit(harness.main(test))
