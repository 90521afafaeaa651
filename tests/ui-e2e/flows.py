"""What a user does with the application, step by step, on a Desktop."""

import time

from desktop import (PHONE, SMS_CODE, ScenarioFailure, check, descendants, find_in, role_name,
                     showing, wait_for)

LOGIN_TITLE = "登录"
SESSION_TITLE = "面试助攻"


def open_captcha(d):
    """Phone number and "发送验证码": the login window and the captcha page's window."""
    login = d.window(LOGIN_TITLE, 40)
    d.set_text(d.find(login, "手机号", "text"), PHONE)
    d.press(d.find(login, "发送验证码", "push button"))
    captcha = wait_for(lambda: next((w for w in d.windows() if showing(w) and
                                     w.name != LOGIN_TITLE and find_in(w, role="document web")),
                                    None), 30, "the captcha page")
    return login, captcha


def sign_in_by_sms(d):
    """Phone number, "发送验证码", the captcha page's button, the code, "登录"."""
    login, captcha = open_captcha(d)
    # The page and its web engine live in a helper process: the application has no GL driver.
    check(d.helper_pids(), "the captcha page without its helper process")
    check(not d.gl_drivers_mapped(), f"GL drivers in the application: {d.gl_drivers_mapped()}")
    page = find_in(captcha, role="filler")
    # The page's content is a web document the bridge does not expose: its one button sits in
    # the middle of the page. Clicked until the page is answered and goes.
    def answered():
        if not d.helper_pids():
            return True  # the helper ends once its page is answered
        if not any(w.name == captcha.name and showing(w) and find_in(w, role="document web")
                   for w in d.windows()):
            return True
        d.click(page)
        return False
    wait_for(answered, 30, "the captcha page to be answered", interval=1.0)
    wait_for(lambda: d.requests("/login/send_code") or d.requests("/user/send_code") or
             any("code" in r["route"] and r["method"] == "POST" for r in d.requests()), 15,
             "the SMS code request")
    d.set_text(d.find(login, "验证码", "text"), SMS_CODE)
    d.press(d.find(login, "登录", "push button"))


def main_window(d, timeout=40):
    """The signed-in main window: the one with the setup page's "开始面试"."""
    return wait_for(lambda: next((w for w in d.windows() if showing(w) and
                                  find_in(w, "开始面试", "push button")), None), timeout,
                    "the main window with \"开始面试\"")


def choose_system_sound(d):
    """On the "面试设置" page, the audio source "系统声音"; back to the setup page."""
    main = main_window(d)
    d.click(d.find(main, "面试设置", "label"))
    d.click(d.find(main, "系统声音", "label"))
    d.click(d.find(main, "面试助攻", "label"))
    wait_for(lambda: find_in(main, "系统声音", "label") and
             find_in(main, "开始面试", "push button"), 15,
             "the setup page showing the system sound")
    return main


def start_session(d):
    """"开始面试" on the setup page; the session window once billing has started."""
    main = main_window(d)
    d.press(d.find(main, "开始面试", "push button"))
    session = d.window(SESSION_TITLE, 30)
    wait_for(lambda: d.requests("/consume/start"), 20, "the billing start request")
    return session


def transcript_lines(session):
    """The final sentences shown in the session window (their labels' texts)."""
    return [node.name for node in descendants(session)
            if role_name(node) in ("list item", "table cell", "label") and node.name]


def speak(d, sentences):
    """Each sentence spoken on the default output, with a pause between them."""
    for index, sentence in enumerate(sentences):
        d.play(d.speech(sentence, f"sentence-{index}"))
        time.sleep(1.5)


def close_window(d, title):
    """The window manager's close button: a polite close request to the window."""
    subprocess_run = __import__("subprocess").run
    result = subprocess_run(["wmctrl", "-c", title], env=d.env, capture_output=True)
    if result.returncode != 0:
        raise ScenarioFailure(f"no window \"{title}\" to close")


def show_main_window(d):
    """The Window menu's "Show Main Window" (Ctrl+0): the main window, also during a session."""
    d.press(d.find_any("Show Main Window", "menu item"))
    return main_window(d)


def sign_out(d, main):
    """"退出登录" at the foot of the main window's sidebar."""
    d.click(d.find(main, "退出登录", "label"))


def quit_from_menu(d):
    """"Quit" in the application menu (the menu bar of whichever window holds it)."""
    d.press(d.find_any("Quit", "menu item"))


def check_sound_server_as(d, before, what):
    now = wait_for(lambda: d.sound_server() == before and d.sound_server(), 10,
                   f"the sound server as before {what}") if before else d.sound_server()
    check(now == before, f"sound server {what}: {now} != {before}")
