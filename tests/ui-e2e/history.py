"""The history of past sessions: view, rename, play, export each kind, delete.

The session it shows is recorded first and its run then killed, as a crash would end it: the
history panel shows what the relaunched application finds on disk.
"""

import os
import signal

from desktop import check, descendants, extents, find_in, role_name, showing, wait_for
from flows import main_window, sign_in_by_sms

# The row's painted buttons, as (width, distance of their right edge from the row's right).
ROW_BUTTONS = {"查看": (45, 180), "重命名": (55, 120), "导出": (45, 70), "删除": (45, 20)}
EXPORTS = {"仅问题答案": "问题答案.txt", "仅同传": "同传.txt", "仅音频": ".wav"}


def open_history(d):
    main = main_window(d)
    d.click(d.find(main, "个人中心", "label"))
    d.press(d.find(main, "面试记录", "push button"))
    d.find(main, "搜索面试记录", "text")
    return main


def history_window(d):
    """The main window while it shows the history page (its setup page's button is hidden)."""
    return wait_for(lambda: next((w for w in d.windows() if showing(w) and
                                  find_in(w, "搜索面试记录", "text")), None), 15,
                    "the main window with the history page")


def row_button(d, main, title):
    """Clicks the button `title` that the first row of the history list draws."""
    listing = d.find(main, "面试记录", "label")
    row = wait_for(lambda: find_in(listing.parent, role="list item"), 15, "a history row")
    x, y, width, height = extents(row)
    button_width, right = ROW_BUTTONS[title]
    d.click(row, dx=width - right - button_width // 2, dy=height // 2)


def history_titles(d):
    return [row[1:] for row in d.history_rows().get("historyRecord", [])]


def save_as(d, path):
    """Answers the save dialogue with `path`."""
    dialog = wait_for(lambda: next((w for w in d.windows() if showing(w) and
                                    find_in(w, role="text") and find_in(w, "Save", "push button")),
                                   None), 20, "the save dialogue")
    field = wait_for(lambda: next((t for t in texts(dialog) if role_name(t) == "text"), None), 10,
                     "the file name field")
    d.set_text(field, path)
    d.press(d.find(dialog, "Save", "push button"))


def texts(root):
    return [node for node in descendants(root, only_showing=True) if role_name(node) == "text"]


def history(d):
    from scenarios import SENTENCES, check_recording, running_session
    running_session(d, SENTENCES[:1])
    d.signal_app(signal.SIGKILL)
    d.wait_exit(10)
    d.launch()
    sign_in_by_sms(d)
    main = open_history(d)
    exports = os.path.join(d.root, "exports")
    os.makedirs(exports)

    # View: the detail pop-up with the transcript and its player.
    row_button(d, main, "查看")
    play = d.find_any_showing("播放")
    d.click(play)
    d.find_any_showing("暂停", timeout=10)
    d.click(d.find_any_showing("暂停"))

    # Export each kind the detail pop-up offers for this session (a translated session's
    # transcript travels with its answers: it offers no separate "仅同传").
    exported = []
    for choice, suffix in EXPORTS.items():
        export_button = d.find_any_showing("导出")
        d.click(export_button)
        d.find_any_showing("选择导出项目")
        offered = d.find_any_showing(choice, timeout=3, required=False)
        if offered is None:
            # A click on the dimmed area beside the choices (where the export button lies
            # underneath) closes them.
            d.click(export_button)
            wait_for(lambda: not any(showing(w) and find_in(w, "选择导出项目") for w in d.windows()),
                     10, "the export choices to close")
            continue
        exported.append(choice)
        d.click(offered)
        target = os.path.join(exports, f"export{suffix}")
        save_as(d, target)
        wait_for(lambda: os.path.exists(target) and os.path.getsize(target) > 0, 15,
                 f"the export {target}")
        if suffix == ".wav":
            check_recording(d, target)
        else:
            with open(target, encoding="utf-8") as f:
                check(f.read().strip(), f"{target} is empty")
        # The success tip: "导出成功，地址已复制，粘贴即可查看".
        tip = d.find_any_showing("确定")
        d.press(tip) if role_name(tip) == "push button" else d.click(tip)

    check("仅问题答案" in exported and "仅音频" in exported, f"exports offered: {exported}")

    # Rename: the detail pop-up goes with a click beside it, on the dimmed window.
    x, y, width, height = extents(main)
    d.click(main, dx=40, dy=height - 40)
    main = history_window(d)
    row_button(d, main, "重命名")
    field = d.find_any_showing("新名称", role="text")
    d.set_text(field, "第一次面试")
    d.press(d.find_any_showing("确定", role="push button"))
    wait_for(lambda: any("第一次面试" in str(row) for row in history_titles(d)), 15,
             "the new name in the history database")

    # Delete.
    row_button(d, main, "删除")
    confirm = d.find_any_showing("确定", role="push button", timeout=5, required=False)
    if confirm is not None:
        d.press(confirm)
    wait_for(lambda: not d.history_rows().get("historyRecord"), 15,
             "the session gone from the history database")
