"""The installer window's child controls under Wine: classes, ids, styles,
texts and rectangles at 96 and 120 DPI, Tab order, default check marks, the
default folder, the work folder, and the Korean texts."""
import shutil
import subprocess
import time
import unittest

from support.window_checks import (CONTROLS, WS_BORDER, InstallerWindowTest, client_rect_of,
                                   scale_value, ui_probe, unix_path, website_host, wine_local_app_data)


class WindowSession(InstallerWindowTest):

    def check_controls(self, korean):
        host = website_host()
        children = self.window["children"]
        self.assertEqual(len(children), len(CONTROLS))
        for child, (cls_name, cid, style, x, y, w, h, english, hangul) in zip(children, CONTROLS):
            with self.subTest(id=cid, cls=cls_name):
                self.assertEqual(child["class"].lower(), cls_name.lower())
                self.assertEqual(child["id"], cid)
                if cls_name == "Edit":
                    # The edit control takes its border over (it clears
                    # WS_BORDER and draws the frame itself, as on Windows);
                    # the paint test sees the frame.
                    self.assertEqual(child["style"] | WS_BORDER, style)
                else:
                    self.assertEqual(child["style"], style)
                s = self.scale
                self.assertEqual(client_rect_of(self.window, child),
                                 [scale_value(s, x), scale_value(s, y),
                                  scale_value(s, x) + scale_value(s, w),
                                  scale_value(s, y) + scale_value(s, h)])
                expected_text = host if english is None else (hangul if korean else english)
                if cls_name != "Edit":
                    self.assertEqual(child["text"], expected_text)
                self.assertTrue(child["visible"])
                self.assertTrue(child["enabled"])


class EnglishAt96Dpi(WindowSession):

    @classmethod
    def before_start(cls):
        # A first start on an account without the work folder creates it.
        cls.local = wine_local_app_data(cls.session)
        cls.work = unix_path(cls.session, cls.local + "\\VTFI")
        cls.kept = None
        if cls.work.exists():
            cls.kept = cls.work.with_name("VTFI.window-test-kept")
            shutil.rmtree(cls.kept, ignore_errors=True)
            cls.work.rename(cls.kept)
            cls.addClassCleanup(cls.restore_work_folder)

    @classmethod
    def restore_work_folder(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.kept.rename(cls.work)

    def test_client_area_is_840_by_552(self):
        left, top, right, bottom = self.window["client_rect"]
        self.assertEqual((right - left, bottom - top), (840, 552))
        self.assertEqual(self.window["text"], "VELMO Tallowfin Installer")

    def test_controls_in_creation_order(self):
        self.check_controls(korean=False)

    def test_default_check_marks(self):
        checks = {c["id"]: c["check"] for c in self.window["children"] if c["id"] in (104, 105, 106)}
        self.assertEqual(checks, {104: 1, 105: 1, 106: 0})

    def test_folder_field_holds_the_default_folder(self):
        self.assertTrue(self.local.startswith("C:\\"), self.local)
        folder = self.window["children"][0]
        self.assertEqual(folder["text"], self.local + "\\Programs\\VELMO Tallowfin")

    def test_work_folder_created_at_start(self):
        self.assertTrue(self.work.is_dir(), self.work)
        # Nothing else is made by the window: no log, no lock.
        self.assertEqual(list(self.work.iterdir()), [])

    def test_tab_order(self):
        expected = [103, 102, 104, 105, 106, 101, 107]
        # The dialog navigation's own walk: the progress bar has no tab stop,
        # and after the web-site button it wraps to the folder field.
        self.assertEqual(ui_probe(self.session, "tab", "8"), expected + [103])
        # Real Tab keys through the message loop of the installer.
        seen = []
        for _ in expected:
            before = seen[-1] if seen else None
            subprocess.run(["xdotool", "key", "Tab"], env=self.session.env, timeout=30)
            # The key goes through the X server and Wine's queue: wait for the
            # focus to move rather than for a fixed time.
            deadline = time.monotonic() + 10
            focus = ui_probe(self.session, "focus")
            while focus == before and time.monotonic() < deadline:
                time.sleep(0.2)
                focus = ui_probe(self.session, "focus")
            seen.append(focus)
        self.assertEqual(seen, expected)


class EnglishAt120Dpi(WindowSession):
    log_pixels = 120
    scale = 1.25

    def test_client_area_is_scaled(self):
        left, top, right, bottom = self.window["client_rect"]
        self.assertEqual((right - left, bottom - top), (1050, 690))

    def test_controls_in_creation_order(self):
        # Each number is rounded on its own: the folder field at (50, 370),
        # 805 x 43; Browse at (873, 370), 128 x 43; main button at (693, 603).
        self.check_controls(korean=False)
        rects = {c["id"]: client_rect_of(self.window, c) for c in self.window["children"]}
        self.assertEqual(rects[103], [50, 370, 855, 413])
        self.assertEqual(rects[102], [873, 370, 1001, 413])
        self.assertEqual(rects[101], [693, 603, 1001, 658])


class KoreanAt96Dpi(WindowSession):
    korean = True

    def test_controls_carry_korean_texts(self):
        self.check_controls(korean=True)
        self.assertEqual(self.window["text"], "VELMO Tallowfin Installer")


if __name__ == "__main__":
    unittest.main()
