"""Start-up of the real installer under Wine and Xvfb: the window's class,
title, size and place at two display scales, the single-instance guard in
both languages, and the exit code after closing."""
import unittest

from support.wine import INSTALLER_CLASS, INSTALLER_TITLE, MESSAGE_BOX_CLASS, WineSession

WS_CAPTION_SYSMENU_MINIMIZE_CLIPCHILDREN = 0x02CA0000
WS_THICKFRAME = 0x00040000
WS_MAXIMIZEBOX = 0x00010000
WS_EX_APPWINDOW = 0x00040000
IDOK = 1
MESSAGE_TEXT_ID = 0xFFFF  # the static control that holds a message box's text


def size(rect):
    left, top, right, bottom = rect
    return right - left, bottom - top


class StartupTest(unittest.TestCase):

    def test_window_size_and_place_follow_the_dpi_and_the_work_area(self):
        cases = [
            # 96 DPI, a work area (as a taskbar leaves it) that is not the
            # screen: design size, centred in the work area, not the screen.
            dict(screen="1280x1024", work_area=(100, 60, 1000, 900), dpi=96, client=(840, 552)),
            # 144 DPI on 1280 x 680: first the width rule, then the height rule.
            dict(screen="1280x680", work_area=None, dpi=144, client=(952, 626)),
            # A work area lower than the design at 96 DPI: the scale is 500/600.
            dict(screen="1280x1024", work_area=(0, 0, 1280, 500), dpi=96, client=(700, 460)),
        ]
        for case in cases:
            with self.subTest(**case), WineSession(screen=case["screen"], work_area=case["work_area"],
                                                   log_pixels=case["dpi"]) as session:
                width, height = map(int, case["screen"].split("x"))
                left, top, area_width, area_height = case["work_area"] or (0, 0, width, height)
                info = session.info()
                self.assertEqual(info["logpixels_x"], case["dpi"], "the test display is not as intended")
                self.assertEqual(info["work_area"], [left, top, left + area_width, top + area_height])

                installer = session.start(session.installer_exe())
                window = session.wait_window(cls=INSTALLER_CLASS)
                session.screenshot(session.artifact(
                    f"startup-{case['dpi']}dpi-{area_width}x{area_height}.png"))
                self.assertEqual(window["text"], INSTALLER_TITLE)
                self.assertEqual(window["owner"], 0)
                self.assertEqual(size(window["client_rect"]), case["client"])

                style = window["style"]
                self.assertEqual(style & WS_CAPTION_SYSMENU_MINIMIZE_CLIPCHILDREN,
                                 WS_CAPTION_SYSMENU_MINIMIZE_CLIPCHILDREN)
                self.assertFalse(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), "the window is not resizable")
                self.assertTrue(window["exstyle"] & WS_EX_APPWINDOW)

                # Centred in the work area (integer division of the free space).
                work_left, work_top, work_right, work_bottom = info["work_area"]
                outer_width, outer_height = size(window["window_rect"])
                self.assertEqual(window["window_rect"][:2],
                                 [(work_left + work_right - outer_width) // 2,
                                  (work_top + work_bottom - outer_height) // 2])

                # Closing the window ends the process with exit code 0.
                session.probe("--class", INSTALLER_CLASS, "--close")
                self.assertEqual(session.wait_exit(installer, timeout=30), 0)
                self.assertEqual(session.windows(cls=INSTALLER_CLASS), [])

    def test_a_second_start_shows_a_message_and_leaves_the_first_running(self):
        cases = [
            (False, "The installer is already running."),
            (True, "설치 프로그램이 이미 실행 중입니다."),
        ]
        for korean, message in cases:
            with self.subTest(korean=korean), WineSession(korean=korean) as session:
                self.assertEqual(session.info()["ui_language"], 0x412 if korean else 0x409)
                first = session.start(session.installer_exe())
                main = session.wait_window(cls=INSTALLER_CLASS)
                self.assertEqual(main["text"], INSTALLER_TITLE, "the title is the same in both languages")

                second = session.start(session.installer_exe())
                box = session.wait_window(cls=MESSAGE_BOX_CLASS, title="VELMO Tallowfin")
                session.screenshot(session.artifact(f"second-start-{'ko' if korean else 'en'}.png"))
                self.assertEqual(box["message"], message)
                self.assertEqual(box["owner"], 0, "the box has no owner window")
                self.assertNotEqual(box["pid"], main["pid"], "the box belongs to the second process")
                buttons = [c for c in box["children"] if c["class"].lower() == "button"]
                self.assertEqual([b["id"] for b in buttons], [IDOK], "an OK button only")

                # No second main window, neither now nor after the box is gone.
                self.assertEqual(len(session.windows(cls=INSTALLER_CLASS, visible=False)), 1)
                session.probe("--class", MESSAGE_BOX_CLASS, "--title", "VELMO Tallowfin", "--click", IDOK)
                self.assertEqual(session.wait_exit(second, timeout=30), 0)
                self.assertEqual(len(session.windows(cls=INSTALLER_CLASS, visible=False)), 1)

                # The first instance goes on undisturbed.
                self.assertIsNone(first.poll())
                still = session.wait_window(cls=INSTALLER_CLASS, timeout=5)
                self.assertEqual(still["hwnd"], main["hwnd"])
                self.assertTrue(still["enabled"])
                session.probe("--class", INSTALLER_CLASS, "--close")
                self.assertEqual(session.wait_exit(first, timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
