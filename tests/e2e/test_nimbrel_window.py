"""Nimbrel's window on a real X server: the demo updater, started with an
emulated controller that runs older firmware, shows its versions, flashes
nothing before OK, and after OK, clicked with the mouse on the control found
by its skin key, flashes the controller, shows the success pop-up and ends
with code 0 once the pop-up's OK is clicked."""

import sys

import harness

TITLE = "Nimbrel demo"
WARNING_TITLE = "Halvern NIMBREL WARN"
BOOT_LOADER_PID = "014e"


def test(session):
    session.start_devsim(["standard,fw=1.2.5"])
    session.trace(clear=True)
    nimbrel = session.start_program("Nimbrel/Nimbrel")
    window = session.wait_for_window(nimbrel, TITLE)
    # An empty text is named after its key: wait for the versions read from the controller.
    harness.wait_until(lambda: session.find(window, key="RECT_CUR_VER").name == "1.2.5" or None, 15,
                       "the controller's version 1.2.5 on the window")
    package = session.find(window, key="RECT_VER").name
    if package != "1.2.7":
        raise harness.Failure("the package version reads %r" % package)
    ok = session.find(window, key="BUTTON_OK", name="OK")
    harness.wait_until(lambda: ok.getState().contains(session._pyatspi().STATE_ENABLED) or None, 15,
                       "OK to be enabled")
    session.screenshot("nimbrel-before", window)
    if any(record.pid == BOOT_LOADER_PID for record in session.trace()):
        raise harness.Failure("something reached the boot loader before OK")

    session.click(ok)
    warning = session.wait_for_window(nimbrel, WARNING_TITLE, timeout=60)
    text = session.find(warning, key="STR_WARN")
    if "Firmware Update Success!" not in text.name:
        raise harness.Failure("the pop-up reads %r" % text.name)
    session.screenshot("nimbrel-success", warning)
    session.click(session.find(warning, key="BUTTON_OK", name="OK"))
    code = session.wait_for_exit(nimbrel, timeout=30)
    if code != 0:
        raise harness.Failure("Nimbrel ended with %s: %s" % (code, session.log_tail(nimbrel)))
    session.save_trace("trace-after-update")
    if not any(record.pid == BOOT_LOADER_PID for record in session.trace()):
        raise harness.Failure("nothing was written to the boot loader")
    state = session.devsim("state", "1")
    if "firmware=1.2.7" not in state.split("\n"):
        raise harness.Failure("the controller runs %r after the update" % state)


if __name__ == "__main__":
    sys.exit(harness.main(test))
