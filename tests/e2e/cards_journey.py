"""The card window as a person uses it: add a card, find it by a part of its name, pick it
in the list, change its mobile number, and read the change back after reopening."""
import pyatspi

import harness as h

TITLE = "澄桐工作管理"


def open_cards(app, frame):
    h.press(h.menu_item(frame, "功能模块", "名片管理"))
    return h.window(app, "名片管理", role="dialog")


def answer(app, button="确定"):
    """Answers the next message box and waits for it to go; returns its text."""
    text = h.answer(app, TITLE, button)

    def gone():
        return all(w is None or w.getRoleName() != "alert" or h.alert_text(w) != text
                   for w in h.windows(app))
    h.wait_for(gone, 10, "the box %r to close" % text)
    return text


def tab(dlg, caption):
    h.press(h.find(dlg, "page tab", caption))


def click(acc):
    x, y, w, hh = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    h.Atspi.generate_mouse_event(x + w // 2, y + hh // 2, "b1c")


def lookup(dlg, typed):
    """A look-up by name on the list's page. The caller waits for the list it fills."""
    h.press(h.find(dlg, "push button", "名片查询"))
    h.wait_for(lambda: h.showing(h.find(dlg, "table", "名片列表")), 10, "the list's page")
    h.set_text(h.find(dlg, "text", "姓名："), typed)
    h.press(h.find(dlg, "push button", "查  找"))


def list_cell(dlg, row, col):
    grid = h.find(dlg, "table", "名片列表")
    return h.wait_for(lambda: grid.queryTable().getAccessibleAt(row, col), 10,
                      "cell %d,%d of the card list" % (row, col))


def journey(bindir):
    with h.Program(bindir) as p:
        p.sql("insert into cardtab (full_nam, o_phone) values ('x', '1');")  # one other card
        p.start()
        app = p.app()
        frame = h.window(app, TITLE, role="frame")

        dlg = open_cards(app, frame)
        h.check(dlg is not None, "the card window opens from 名片管理")
        tabs = [a.name for a in h.find_all(dlg, "page tab")]
        h.check(tabs == ["基本资料", "联络资料", "其他", "名片总览"], "four pages: %s" % tabs)

        h.set_text(h.find(dlg, "text", "姓  名"), "欧阳明远")
        h.set_text(h.find(dlg, "text", "单  位"), "澄桐公司")
        tab(dlg, "联络资料")
        h.set_text(h.find(dlg, "text", "单位电话"), "010-88886666")
        h.set_text(h.find(dlg, "text", "手   机"), "13900001111")
        tab(dlg, "基本资料")
        h.press(h.find(dlg, "push button", "添加名片"))
        text = answer(app)
        h.check(text == "纪录被成功增加", "the card is added: %r" % text)
        h.eventually(lambda: h.text_of(h.find(dlg, "text", "姓  名")) == "",
                     "the boxes are emptied")

        # The window opened listing the other card alone: the look-up's list differs.
        lookup(dlg, "明")
        cell = h.eventually(lambda: (lambda c: c if c.name == "欧阳明远" else None)(
            list_cell(dlg, 0, 1)), "the found card heads the list")
        h.check(h.find(dlg, "table", "名片列表").queryTable().nRows == 1,
                "a search for 明 lists one card")
        click(cell)
        h.eventually(lambda: h.text_of(h.find(dlg, "text", "姓  名")) == "欧阳明远",
                     "picking the card fills the boxes")

        tab(dlg, "联络资料")
        mobile = h.find(dlg, "text", "手   机")
        h.check(h.text_of(mobile) == "13900001111", "its mobile number is shown")
        h.set_text(mobile, "18612345678")
        tab(dlg, "基本资料")
        h.press(h.find(dlg, "push button", "名片修改"))
        text = answer(app)
        h.check(text == "确定修改：欧阳明远 的通讯地址！", "the change asks: %r" % text)
        text = answer(app)
        h.check(text == "修改成功！", "the change is made: %r" % text)
        h.press(h.find(dlg, "push button", "退  出"))
        h.no_window(app, "名片管理")

        dlg = open_cards(app, frame)
        # It opens listing both cards, the other one first: the look-up's list differs.
        lookup(dlg, "欧阳")
        h.wait_for(lambda: h.find(dlg, "table", "名片列表").queryTable().nRows == 1 and
                   list_cell(dlg, 0, 14).name == "18612345678", 10,
                   "the card alone in the list, with its new mobile number")
        click(list_cell(dlg, 0, 1))
        h.wait_for(lambda: h.text_of(h.find(dlg, "text", "姓  名")) == "欧阳明远", 10,
                   "the picked card in the boxes")
        tab(dlg, "联络资料")
        got = h.text_of(h.find(dlg, "text", "手   机"))
        h.check(got == "18612345678", "after reopening the mobile number reads %r" % got)
        h.press(h.find(dlg, "push button", "退  出"))
        h.no_window(app, "名片管理")
        stored = p.sql("select mobile from cardtab where o_phone = '010-88886666';")
        h.check(stored == "18612345678", "the table holds the new number: %r" % stored)


if __name__ == "__main__":
    h.main(journey)
