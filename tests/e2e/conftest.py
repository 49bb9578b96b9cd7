"""Each journey gets a desktop of its own (an X server and its folders), which it extends with what its story needs."""

import re

import pytest

import harness

SKIPPED = 77  # what CTest counts as a skip


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.when == "call":
        item.passed = report.passed


def pytest_sessionfinish(session, exitstatus):
    reporter = session.config.pluginmanager.get_plugin("terminalreporter")
    stats = reporter.stats if reporter else {}
    if exitstatus == 0 and stats.get("skipped") and not stats.get("passed"):
        session.exitstatus = SKIPPED


@pytest.fixture
def desk(request):
    # Short and plain: the folder holds the program's socket, whose path is limited.
    name = re.sub(r"[^A-Za-z0-9_-]+", "-", request.node.name).strip("-")[:48]
    d = harness.Desktop(name).start_x()
    yield d
    passed = getattr(request.node, "passed", False)
    if not passed:
        harness.screenshot(f"{name}-failure")
        for log in sorted(d.work.glob("clock*.log")):
            print(f"{log.name}:\n" + "\n".join(log.read_text(errors="replace").splitlines()[-60:]))
    d.close(passed)
