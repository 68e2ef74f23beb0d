"""A skinned warning on a real X server: found on the accessibility bus by its
message key, its drawn text readable, its OK button found by skin key and
clicked with the mouse, which ends it with the OK result."""

import sys

import harness

MESSAGE = "ZELVOR_WARN"


def test(session):
    probe, = session.extra
    warning = session.start_program(probe, session.bin_dir, MESSAGE, stdout=True)
    window = session.wait_for_window(warning, "Zelvor sync")
    if window.description != MESSAGE:
        raise harness.Failure("the warning's key is %r" % window.description)
    text = session.find(window, key="STR_WARN")
    if "Continue?" not in text.name:
        raise harness.Failure("the warning reads %r" % text.name)
    ok = session.find(window, key="BUTTON_OK", name="OK")
    session.screenshot("warning", window)
    session.click(ok)
    if session.wait_for_exit(warning) != 0:
        raise harness.Failure("the probe failed: %s" % session.log_tail(warning))
    if session.output_of(warning).strip() != "result 1":
        raise harness.Failure("the warning ended with %r, not OK" % session.output_of(warning))


if __name__ == "__main__":
    sys.exit(harness.main(test))
