#!/usr/bin/env python3
"""Opens health reports in headless Chromium and checks them as a person would
use them: fifteen tabs, a click on a tab shows its section and hides the
others, the page logs no script error, device texts stay text.

    browser_check.py REPORT.html HOSTILE_REPORT.html SCREENSHOT.png

REPORT.html is an enclosure's report; its "Abnormal Conditions" tab is saved
as SCREENSHOT.png. HOSTILE_REPORT.html is the report of an enclosure whose
texts hold markup: a descriptor "<script>window.injected=1</script>" and an
alert element '<img src=x onerror="window.injected=2">' must show as text.
Chromium is driven over the DevTools protocol on a pipe (fds 3 and 4).
Exit status: 0 all checks passed, 1 a check failed, 2 Chromium did not start
or stopped answering.
"""
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

TIMEOUT = 60  # seconds for any one answer of the browser


class BrowserGone(Exception):
    pass


class Browser:
    def __init__(self, profile):
        chromium = shutil.which("chromium") or shutil.which("chromium-browser")
        if not chromium:
            raise BrowserGone("no chromium on PATH")
        to_browser, from_browser = os.pipe(), os.pipe()
        # The browser reads commands on fd 3 and writes answers on fd 4; the
        # ends are first moved above 4 so that dup2 cannot clobber them.
        high = [fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in (*to_browser, *from_browser)]
        for fd in (*to_browser, *from_browser):
            os.close(fd)
        command_read, self.command_write, self.answer_read, answer_write = high

        def child_fds():
            os.dup2(command_read, 3)
            os.dup2(answer_write, 4)

        args = [chromium, "--headless", "--remote-debugging-pipe", "--user-data-dir=" + profile,
                "--no-first-run", "--no-default-browser-check", "--disable-gpu", "--disable-extensions",
                "--disable-dev-shm-usage", "--allow-file-access-from-files"]
        if os.geteuid() == 0:
            args.append("--no-sandbox")  # Chromium refuses to run as root with its sandbox
        self.proc = subprocess.Popen(args + ["about:blank"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, pass_fds=(3, 4), preexec_fn=child_fds)
        os.close(command_read)
        os.close(answer_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def close(self):
        try:
            self.call("Browser.close")
        except BrowserGone:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def _message(self):
        deadline = time.monotonic() + TIMEOUT
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.answer_read], [], [], left)[0]:
                raise BrowserGone("no answer from chromium within %d s" % TIMEOUT)
            chunk = os.read(self.answer_read, 1 << 16)
            if not chunk:
                raise BrowserGone("chromium closed the pipe: " + self.proc.stderr.read().decode(errors="replace")[-2000:])
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None):
        self.next_id += 1
        request = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            request["sessionId"] = session
        try:
            os.write(self.command_write, json.dumps(request).encode() + b"\0")
        except OSError as e:
            raise BrowserGone("cannot write to chromium: %s" % e)
        while True:
            message = self._message()
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self.events.append(message)

    def wait_event(self, method):
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self._message())


class Page:
    def __init__(self, browser):
        self.browser = browser
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable")
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": 1280, "height": 1000, "deviceScaleFactor": 1, "mobile": False})

    def call(self, method, params=None):
        return self.browser.call(method, params, self.session)

    def open(self, path):
        self.call("Page.navigate", {"url": "file://" + os.path.abspath(path)})
        self.browser.wait_event("Page.loadEventFired")

    def value(self, expression):
        answer = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in answer:
            raise RuntimeError("evaluating %s: %s" % (expression, answer["exceptionDetails"]))
        return answer["result"].get("value")

    def click(self, element_id):
        x, y = self.value("(() => { const e = document.getElementById(%s); e.scrollIntoView(); "
                          "const r = e.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()"
                          % json.dumps(element_id))
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left", "clickCount": 1})

    def errors(self):
        found = []
        for event in self.browser.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                found.append(params["exceptionDetails"].get("text", "exception"))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                found.append("console: %s" % params.get("args"))
            elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
                found.append("log: %s" % params["entry"].get("text"))
        return found


VISIBLE_SECTIONS = ("Array.from(document.querySelectorAll('[id^=\"title_\"][id$=\"-content\"]'))"
                    ".filter(e => getComputedStyle(e).display !== 'none').map(e => e.id)")
SELECTED_TABS = "Array.from(document.querySelectorAll('li.selected')).map(e => e.id)"


def check_report(page, report, screenshot, failures):
    page.open(report)
    tabs = page.value("Array.from(document.querySelectorAll('li[id^=\"title_\"]')).map(e => e.id)")
    expected_tabs = ["title_%d" % i for i in range(15)]
    if tabs != expected_tabs:
        failures.append("tabs: %s" % tabs)
        return
    if page.value(VISIBLE_SECTIONS) != ["title_0-content"]:
        failures.append("shown at first: %s" % page.value(VISIBLE_SECTIONS))
    for i in list(range(1, 15)) + [0]:
        page.click("title_%d" % i)
        shown, selected = page.value(VISIBLE_SECTIONS), page.value(SELECTED_TABS)
        heading = page.value("document.querySelector('#title_%d-content h1').textContent" % i)
        print("tab %2d: shows %s, heading %r" % (i, shown, heading))
        if shown != ["title_%d-content" % i] or selected != ["title_%d" % i] or not heading:
            failures.append("after a click on tab %d: sections %s, tabs %s, heading %r" % (i, shown, selected, heading))
    page.click("title_4")  # Abnormal Conditions: the enclosure's faults at a glance
    page.value("window.scrollTo(0, 0)")
    image = page.call("Page.captureScreenshot", {"format": "png"})["data"]
    with open(screenshot, "wb") as out:
        out.write(base64.b64decode(image))
    print("screenshot: %s" % screenshot)


def check_hostile(page, report, failures):
    page.open(report)
    cells = page.value("Array.from(document.querySelectorAll('td')).map(e => e.textContent)")
    for text in ("<script>window.injected=1</script>", '<img src=x onerror="window.injected=2">',
                 "Fan <b>failed</b> & gone", "FAN\\x072 & <b>bold</b>"):
        if text not in cells:
            failures.append("device text not shown as text: %r" % text)
    page.click("title_1")  # the alerts, where the <img> would load
    page.click("title_2")  # the fans, where the <script> would stand
    made = page.value("document.querySelectorAll('[id$=\"-content\"] script, [id$=\"-content\"] img, "
                      "[id$=\"-content\"] b').length")
    injected = page.value("typeof window.injected")
    print("elements made from device text: %s, window.injected: %s" % (made, injected))
    if made != 0 or injected != "undefined":
        failures.append("device text became markup: %s elements, window.injected %s" % (made, injected))


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    report, hostile, screenshot = sys.argv[1:]
    failures = []
    with tempfile.TemporaryDirectory(prefix="enctl-chromium-") as profile:
        try:
            browser = Browser(profile)
            try:
                page = Page(browser)
                check_report(page, report, screenshot, failures)
                check_hostile(page, hostile, failures)
                failures.extend("script error: " + e for e in page.errors())
            finally:
                browser.close()
        except BrowserGone as e:
            print("FAILED: Chromium: %s" % e)
            return 2
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
