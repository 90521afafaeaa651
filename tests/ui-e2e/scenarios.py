"""The end-to-end scenarios, one per test: each drives the real application on a desktop of
its own (desktop.py) the way a user does (flows.py), and judges it from outside.

    scenarios.py BUILD_DIR ARTIFACTS_DIR SCENARIO

Exit status 0 when the scenario holds; 1 with the reason, a screenshot and the logs in
ARTIFACTS_DIR when it does not.
"""

import os
import signal
import struct
import sys
import time
import traceback

from desktop import Desktop, ScenarioFailure, check, dump, find_in, showing, wait_for
from flows import (LOGIN_TITLE, SESSION_TITLE, choose_system_sound, close_window, main_window,
                   open_captcha, quit_from_menu, show_main_window, sign_in_by_sms, sign_out,
                   speak, start_session)

MAIN_TITLE = "主面板"
SENTENCES = ["Tell me about yourself.", "Why do you want to work here?",
             "What is your greatest strength?"]
QUESTION = ["Describe a project you are proud of."]


# ---- what is judged ------------------------------------------------------------------------

def final_reports(d):
    return [r for r in d.requests("/consume/update_consume")
            if isinstance(r["body"], dict) and r["body"].get("status") == 2]


def recordings(d):
    folder = d.documents()
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".wav"))


def check_recording(d, path):
    """A WAV file that every reader accepts: sndfile reads frames from it, and its RIFF and data
    sizes match the file exactly."""
    info = d.recording_info(path)
    frames = [line for line in info.splitlines() if line.strip().startswith("Frames")]
    check(frames and int(frames[0].split(":")[1]) > 0, f"{path}: no frames\n{info}")
    with open(path, "rb") as f:
        data = f.read()
    check(data[:4] == b"RIFF" and data[8:12] == b"WAVE", f"{path}: not a RIFF/WAVE file")
    check(struct.unpack("<I", data[4:8])[0] == len(data) - 8,
          f"{path}: RIFF size {struct.unpack('<I', data[4:8])[0]} for {len(data)} bytes")
    at = 12
    while at + 8 <= len(data):
        size = struct.unpack("<I", data[at + 4:at + 8])[0]
        if data[at:at + 4] == b"data":
            check(at + 8 + size == len(data), f"{path}: data chunk of {size} bytes does not end "
                  f"at the end of the file ({len(data)} bytes)")
            return
        at += 8 + size + (size & 1)
    raise ScenarioFailure(f"{path}: no data chunk")


def stays(predicate, seconds, what):
    """`predicate` holds now and for `seconds` more."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        check(predicate(), f"no longer {what}")
        time.sleep(0.25)


def only_windows(d, titles, seconds=3):
    wanted = sorted(titles)
    wait_for(lambda: d.visible_window_titles() == wanted, 15, f"only the windows {wanted} "
             f"on screen")
    stays(lambda: d.visible_window_titles() == wanted, seconds, f"only {wanted} on screen")


def stored_sentences(d):
    return len(d.history_rows().get("translationDetailRecord", []))


def running_session(d, sentences=SENTENCES):
    """Signed in, system sound, a session that heard `sentences`; the sound server's state from
    before the session."""
    d.launch()
    sign_in_by_sms(d)
    choose_system_sound(d)
    before = d.sound_server()
    session = start_session(d)
    speak(d, sentences)
    wait_for(lambda: stored_sentences(d) >= len(sentences), 30,
             f"{len(sentences)} sentences stored in the history")
    return session, before


def ended_in_order(d, before, exit_expected):
    """The final usage report went out, the sound server is as before the session, the
    recording is complete; the application exited with 0 when it was asked to."""
    wait_for(lambda: final_reports(d), 15, "the final usage report (status 2)")
    wait_for(lambda: d.sound_server() == before, 15, "the sound server as before the session")
    if exit_expected:
        status = d.wait_exit(15)
        check(status == 0, f"exit status {status}, expected 0")
    files = recordings(d)
    check(len(files) == 1, f"recordings: {files}")
    check_recording(d, files[0])


# ---- scenarios -----------------------------------------------------------------------------

def sign_in(d):
    d.launch()
    sign_in_by_sms(d)
    main_window(d)
    only_windows(d, [MAIN_TITLE])
    sent = d.requests("/user/send_sms_code")
    check(sent and sent[-1]["body"].get("phone") == "13800138000", f"SMS code request: {sent}")
    check(d.requests("/user/login"), "no login request")
    # The solved captcha's helper has ended, and no GL driver came into the application.
    wait_for(lambda: not d.helper_pids(), 15, "the captcha helper to end")
    check(not d.gl_drivers_mapped(), f"GL drivers in the application: {d.gl_drivers_mapped()}")


def quit_with_captcha_open(d):
    """SIGTERM while the captcha page is open: the helper goes with the application."""
    d.launch()
    open_captcha(d)
    helpers = d.helper_pids()
    check(helpers, "the captcha page without its helper process")
    d.signal_app(signal.SIGTERM)
    status = d.wait_exit(15)
    check(status == 0, f"exit status {status}, expected 0")
    # Gone by the time the application has ended, not left to the parent-death signal.
    alive = [pid for pid in helpers if os.path.exists(f"/proc/{pid}")]
    check(not alive, f"captcha helpers left running: {alive}")
    check(not console_lines(d, "Destroyed while process"),
          "the helper's process object went while the helper ran")


def session_close(d):
    session, before = running_session(d)
    close_window(d, SESSION_TITLE)
    ended_in_order(d, before, exit_expected=False)
    # The window closes 2 s after the close request; the application must outlive it.
    stays(d.app_running, 4, "running after the session window closed")
    main_window(d)
    only_windows(d, [MAIN_TITLE])
    rows = d.history_rows()
    check(len(rows["historyRecord"]) == 1, f"history rows: {rows['historyRecord']}")
    check(len(rows["translationDetailRecord"]) >= len(SENTENCES),
          f"sentences stored: {rows['translationDetailRecord']}")


def second_session(d):
    session_close(d)
    before = d.sound_server()
    session = start_session(d)
    speak(d, QUESTION)
    wait_for(lambda: stored_sentences(d) >= len(SENTENCES) + len(QUESTION), 30,
             "the second session's sentence stored")
    # This time through the close button of the window's own title bar.
    d.press(d.find(session, "关闭", "push button"))
    wait_for(lambda: len(final_reports(d)) == 2, 15, "the second final usage report")
    wait_for(lambda: d.sound_server() == before, 15, "the sound server as before")
    main_window(d)
    only_windows(d, [MAIN_TITLE])
    check(len(d.history_rows()["historyRecord"]) == 2, "two sessions in the history")
    files = recordings(d)
    check(len(files) == 2, f"recordings: {files}")
    for path in files:
        check_recording(d, path)


def quit_during_session(d):
    _, before = running_session(d)
    quit_from_menu(d)
    ended_in_order(d, before, exit_expected=True)


def sigterm_during_session(d):
    _, before = running_session(d)
    d.signal_app(signal.SIGTERM)
    ended_in_order(d, before, exit_expected=True)


def sigterm_while_routing(d):
    """SIGTERM between "开始面试" and the session window, while the sound is being routed: no
    session starts, the application exits with 0 and the sound server is as before."""
    d.launch()
    sign_in_by_sms(d)
    main = choose_system_sound(d)
    before = d.sound_server()
    d.press(d.find(main, "开始面试", "push button"))
    wait_for(lambda: d.sound_server() != before, 5, "the sound being routed")
    d.signal_app(signal.SIGTERM)
    status = d.wait_exit(15)
    check(status == 0, f"exit status {status}, expected 0")
    check(not d.requests("/consume/start"), "the session opened before the signal came")
    after = d.sound_server()
    check(after == before, f"the sound server after the exit: {after}, before: {before}")


def kill_during_session(d):
    _, before = running_session(d, SENTENCES[:2])
    stored = d.history_rows()
    d.signal_app(signal.SIGKILL)
    d.wait_exit(10)
    check(d.sound_server() != before, "the session had not rerouted the sound")
    d.launch()
    # Put back at start, before anybody clicked anything.
    wait_for(lambda: d.sound_server() == before, 15, "the sound server as before the session")
    files = recordings(d)
    check(len(files) == 1, f"recordings: {files}")
    check_recording(d, files[0])
    after = d.history_rows()
    for table, rows in stored.items():
        check(set(rows) <= set(after[table]), f"{table} lost rows: {rows} -> {after[table]}")
    wait_for(lambda: any(showing(w) for w in d.windows()), 30, "a window after the relaunch")


def sign_out_during_session(d):
    """During a session the user brings the main window back and presses "开始面试": no second
    session starts, the running one's window comes back to the front. Then the user signs out:
    the session ends first, its final report still signed in, and only then the logout."""
    _, before = running_session(d, SENTENCES[:1])
    d.minimize(SESSION_TITLE)
    wait_for(lambda: SESSION_TITLE not in d.visible_window_titles(), 10,
             "the session window put away")
    main = show_main_window(d)
    d.press(d.find(main, "开始面试", "push button"))
    wait_for(lambda: SESSION_TITLE in d.visible_window_titles() and
             d.active_window_title() == SESSION_TITLE, 10, "the session window back in front")
    stays(lambda: len(d.requests("/consume/start")) == 1 and
          d.visible_window_titles() == sorted([MAIN_TITLE, SESSION_TITLE]), 3,
          "one session, one session window")

    d.move_window(SESSION_TITLE, 700, 200)  # out of the way of the main window's sidebar
    sign_out(d, main)
    wait_for(lambda: LOGIN_TITLE in d.visible_window_titles(), 30, "the login window")
    only_windows(d, [LOGIN_TITLE])
    sent = [(r["route"], r["body"]) for r in d.requests()]
    reports = [i for i, (route, body) in enumerate(sent) if route == "/consume/update_consume"
               and isinstance(body, dict) and body.get("status") == 2]
    logouts = [i for i, (route, _) in enumerate(sent) if route == "/user/logout"]
    check(len(reports) == 1 and len(logouts) == 1 and reports[0] < logouts[0],
          f"final reports at {reports}, logouts at {logouts}: {[r for r, _ in sent]}")
    wait_for(lambda: d.sound_server() == before, 15, "the sound server as before the session")
    files = recordings(d)
    check(len(files) == 1, f"recordings: {files}")
    check_recording(d, files[0])


def expired_login_during_session(d):
    running_session(d, SENTENCES[:1])
    d.fault("/consume/update_consume", status=401)
    wait_for(lambda: LOGIN_TITLE in d.visible_window_titles(), 30,
             "the login window after the 401")
    only_windows(d, [LOGIN_TITLE], seconds=4)


def alert_above_session(d, title_of_alert_text, once_dismissed=None):
    """An alert whose text has `title_of_alert_text` is on screen above the session window;
    dismissed (and `once_dismissed` checked, the session window still open), the session
    window closes."""
    session = d.window(SESSION_TITLE, 30)
    alert = wait_for(lambda: next((w for w in d.windows() if showing(w) and
                                   title_of_alert_text in "\n".join(dump(w))), None), 30,
                     f"an alert with \"{title_of_alert_text}\"")
    # The accessible name of an alert is its text; the window manager knows it by the title bar
    # (the application's name). While the alert shows, the session window must not be on top.
    stack = d.stacking_titles()
    check(SESSION_TITLE in stack and stack[-1] != SESSION_TITLE,
          f"the alert is not above the session window: {stack}")
    d.press(d.find(alert, "确定", "push button"))
    # A user dismisses every alert on screen (one failure can raise more than one), then
    # closes the session window: a close asked while an alert is still modal is refused.
    def alerts_gone():
        shown = [w for w in d.windows() if showing(w) and w.name != SESSION_TITLE
                 and find_in(w, "确定", "push button")]
        for other in shown:
            d.press(find_in(other, "确定", "push button"))
        return not shown
    wait_for(alerts_gone, 15, "every alert dismissed", interval=0.5)
    if once_dismissed:
        once_dismissed()

    def closed():
        if SESSION_TITLE not in d.visible_window_titles():
            return True
        try:
            close_window(d, SESSION_TITLE)
        except ScenarioFailure:
            pass  # gone between the look and the close
        return False
    wait_for(closed, 15, "the session window to close", interval=1.0)
    check(session is not None, "no session window")


def refused_at_session_start(d, route, code, message, alert_text, sound_back_at_once=False):
    """The service refuses `route` as a system-sound session starts: the alert stands above the
    session window, closing works, the sound server is put back (`sound_back_at_once`: already
    once the alert is dismissed, while the dead session's window is still open), and the
    session keeps its history row."""
    d.launch()
    sign_in_by_sms(d)
    choose_system_sound(d)
    before = d.sound_server()
    d.fault(route, code=code, message=message)
    d.press(d.find(main_window(d), "开始面试", "push button"))

    def sound_back_with_the_window_open():
        # Put back with the refusal, not when the user gets round to closing the window.
        wait_for(lambda: d.sound_server() == before, 3, "the sound server as before")
        check(SESSION_TITLE in d.visible_window_titles(), "the session window went by itself")
    alert_above_session(d, alert_text,
                        sound_back_with_the_window_open if sound_back_at_once else None)
    wait_for(lambda: d.sound_server() == before, 15, "the sound server as before")
    rows = d.history_rows()["historyRecord"]
    check(len(rows) == 1, f"history rows: {rows}")


def billing_refused(d):
    refused_at_session_start(d, "/consume/start", 1005, "余额不足，请充值", "余额不足，请充值",
                             sound_back_at_once=True)


def token_refused(d):
    refused_at_session_start(d, "/microsoft/get_token", 500, "token error", "token")


# A hostile answer: many one-character pieces, more of them than an answer may hold.
FLOOD_PIECE = "字"
FLOOD_PIECES = 100_000
MAX_ANSWER_BYTES = 256 * 1024
# Far below what copying the whole answer for every piece costs (gigabytes), and well above what
# the flood's own text takes. AddressSanitizer holds freed memory back (its quarantine, 256 MB by
# default) before it reuses any, so a sanitized build may grow by that much more.
FLOOD_MEMORY_BOUND_MB = 150
SANITIZER_QUARANTINE_MB = 256


def flooded_answers(d):
    """Stored answers made of the flood's pieces: those the session asked by itself sit with
    their sentence, those asked by hand in a table of their own."""
    answers = d.history_query("SELECT aiResultText FROM translationDetailRecord UNION ALL "
                              "SELECT aiResultText FROM aiResponseDetailRecord")
    return [text for (text,) in answers if text and set(text) == {FLOOD_PIECE}]


def answer_flood(d):
    d.launch()
    sign_in_by_sms(d)
    choose_system_sound(d)
    start_session(d)
    time.sleep(2)  # the session's first work done: its memory is the baseline
    before = d.app_memory_kb()
    d.reset_app_peak_memory()
    d.standin_send("POST", "/standin/answer-flood", {"piece": FLOOD_PIECE, "count": FLOOD_PIECES})
    bound = FLOOD_MEMORY_BOUND_MB + (SANITIZER_QUARANTINE_MB if d.sanitized else 0)

    def within_bound():
        # Looked at all along, so that a runaway ends the scenario before it takes the machine.
        peak = d.app_memory_kb("VmHWM")
        check(peak - before["VmRSS"] <= bound * 1024,
              f"peak memory {peak // 1024} MB, more than {bound} MB over the "
              f"{before['VmRSS'] // 1024} MB before the flood")
        return peak

    speak(d, QUESTION)
    answer = wait_for(lambda: within_bound() and flooded_answers(d), 60,
                      "the flooded answer stored")[0]
    peak = within_bound()
    print(f"memory before the flood {before['VmRSS'] // 1024} MB (peak "
          f"{before['VmHWM'] // 1024} MB), peak during it {peak // 1024} MB", flush=True)
    size = len(answer.encode("utf-8"))
    # What came is kept up to the limit: the flood is longer than an answer may be.
    piece_size = len(FLOOD_PIECE.encode("utf-8"))
    check(MAX_ANSWER_BYTES - piece_size < size <= MAX_ANSWER_BYTES,
          f"stored answer of {size} bytes, expected the first {MAX_ANSWER_BYTES} bytes at most")
    check(len(d.requests("/ai/meet")) >= 1, "no question asked")
    # Still answering the user: the session window closes, the main window is back.
    close_window(d, SESSION_TITLE)
    main_window(d)
    only_windows(d, [MAIN_TITLE])


STORAGE_FAILED_TITLE = "保存失败"
WRITE_FAILED_LINE = "写文件失败"


def storage_alerts(d):
    return [w for w in d.windows() if showing(w) and w.name != SESSION_TITLE and
            STORAGE_FAILED_TITLE in "\n".join(dump(w))]


def console_lines(d, text):
    with open(os.path.join(d.artifacts, f"console-{d.app_runs}.log"), encoding="utf-8",
              errors="replace") as f:
        return [line for line in f if text in line]


def full_disk(d):
    d.mount_small_data_folder(64)
    session, _ = running_session(d, SENTENCES[:2])
    stored = d.history_rows()
    d.fill_data_folder()
    # The recording fails at its next frame; the next sentence's row fails as well.
    speak(d, QUESTION)
    wait_for(lambda: storage_alerts(d), 30, f"an alert \"{STORAGE_FAILED_TITLE}\"")
    stack = d.stacking_titles()
    check(SESSION_TITLE in stack and stack[-1] != SESSION_TITLE,
          f"the alert is not above the session window: {stack}")
    # The session runs on under the one alert: still billed, not ended, no second alert.
    reports = len(d.requests("/consume/update_consume"))
    stays(lambda: d.app_running() and len(storage_alerts(d)) == 1 and
          SESSION_TITLE in d.visible_window_titles() and not final_reports(d), 6,
          "one alert above a running session")
    # Billed every 10 s while it runs.
    wait_for(lambda: len(d.requests("/consume/update_consume")) > reports and
             not final_reports(d), 15, "a usage report of the running session")
    lines = console_lines(d, WRITE_FAILED_LINE)
    check(1 <= len(lines) <= 2, f"{len(lines)} console lines \"{WRITE_FAILED_LINE}\": "
          f"{lines[:5]}")
    after = d.history_rows()
    for table, rows in stored.items():
        check(set(rows) <= set(after.get(table, [])),
              f"{table} lost rows: {rows} -> {after.get(table)}")
    d.press(d.find(storage_alerts(d)[0], "确定", "push button"))
    wait_for(lambda: not storage_alerts(d), 15, "the alert dismissed")
    stays(lambda: d.app_running() and SESSION_TITLE in d.visible_window_titles(), 3,
          "the session window after the alert")


SCENARIOS = {
    "sign-in": sign_in,
    "session-close": session_close,
    "second-session": second_session,
    "quit-during-session": quit_during_session,
    "sigterm-during-session": sigterm_during_session,
    "sigterm-while-routing": sigterm_while_routing,
    "kill-during-session": kill_during_session,
    "quit-with-captcha-open": quit_with_captcha_open,
    "sign-out-during-session": sign_out_during_session,
    "expired-login-during-session": expired_login_during_session,
    "billing-refused": billing_refused,
    "token-refused": token_refused,
    "answer-flood": answer_flood,
    "full-disk": full_disk,
}


def main():
    build, artifacts, name = sys.argv[1:4]
    own_standin = True
    if name == "history":
        import history
        scenario = history.history
    elif name == "run-app-second-start":
        import run_app
        scenario = run_app.second_start
        own_standin = False  # the run command starts its own
    else:
        scenario = SCENARIOS[name]
    d = Desktop(name, build, artifacts)
    started = time.monotonic()
    try:
        d.start(standin=own_standin)
        scenario(d)
    except Exception as error:  # every failure keeps its evidence
        print(f"FAIL {name} after {time.monotonic() - started:.0f} s: {error}", flush=True)
        traceback.print_exc()
        try:
            with open(os.path.join(artifacts, "accessibility-tree.txt"), "w",
                      encoding="utf-8") as f:
                for window in d.windows():
                    f.write(f"window \"{window.name}\" showing={showing(window)}\n")
                    f.write("\n".join(dump(window)) + "\n")
            d.keep_artifacts()
        except Exception:  # the evidence is a help, never the verdict
            traceback.print_exc()
        print(f"artifacts: {artifacts}")
        status = 1
    else:
        print(f"PASS {name} in {time.monotonic() - started:.0f} s", flush=True)
        status = 0
    finally:
        if d.app_running():
            d.app.kill()
        d.stop()
    return status


if __name__ == "__main__":
    sys.exit(main())
