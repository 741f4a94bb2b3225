"""What plays after a song ends: the next slot, the page turn and the wrap
back to the first page."""
import unittest

from harness import (E2ETestCase, YELLOW, current_seconds, page_rows, put_song,
                     rows_of, song_names)


class EndOfSong(E2ETestCase):
    def wait_page(self, page, rows, label):
        """Waits until page `page` is shown with `rows` and `label` plays."""
        self.wait_playing(label)
        return self.term.wait_until(
            lambda s: s.text(50, 4) == f"[{page}]" and page_rows(s) == rows
            and s.has(1, 23, f" Playing -> {label} "),
            f"page [{page}] with {rows} and {label} playing")

    def test_after_the_last_song_page_0_is_shown_and_its_slot_0_plays(self):
        music = self.folder("music", song_names(20), long=["Song01.mp3"],
                            medium=["Song20.mp3"])
        self.start_main(music, 20)
        self.term.type("==2")
        self.wait_playing("Song20")
        self.term.wait_text("[3]", 50, 4)
        self.wait_page(1, rows_of(1, 9), "Song01")

    def test_after_slot_8_the_next_page_is_shown_and_played(self):
        music = self.folder("music", song_names(20), long=["Song01.mp3", "Song10.mp3"],
                            medium=["Song08.mp3"])
        self.start_main(music, 20)
        self.term.type("8")
        self.wait_playing("Song08")
        self.wait_page(2, rows_of(10, 9), "Song10")
        self.term.wait_text("1. Song10", 25, 5, colour=YELLOW)

    def test_no_wrap_when_the_user_paged_back(self):
        # The last song ends while page 1 is shown: play goes on from the
        # slot after it on the shown page.
        music = self.folder("music", song_names(20), long=["Song01.mp3", "Song03.mp3"])
        put_song(music, "Song20.mp3", 6)     # time enough to page back
        self.start_main(music, 20)
        self.term.type("==2")
        self.wait_playing("Song20")
        self.term.type("--")
        screen = self.term.wait_text("[1]", 50, 4)
        self.assertTrue(screen.has(1, 23, " Playing -> Song20 "),
                        f"Song20 ended before the paging keys were handled:\n{screen}")
        self.wait_page(1, rows_of(1, 9), "Song03")
        self.term.wait_text("3. Song03", 25, 7, colour=YELLOW)

    def test_a_single_song_plays_again_and_again(self):
        music = self.folder("music", ["Solo.mp3"], medium=["Solo.mp3"])
        self.start_main(music, 1)
        self.wait_playing("Solo")
        self.term.wait_until(lambda s: (current_seconds(s) or 0) >= 2,
                             "Current Time 00:02")
        screen = self.term.wait_until(
            lambda s: current_seconds(s) == 0 and s.has(1, 23, " Playing -> Solo "),
            "Solo to start again")
        self.term.wait_until(
            lambda s: s.text(50, 4) == "[1]" and page_rows(s) == ["1. Solo"] + [""] * 8,
            "page [1] with Solo alone")

    def test_full_last_pages_wrap_to_page_0(self):
        # Folders of 9 and 18 songs: the page after the last one holds no
        # song; play must come back to page 0 instead, also after the digit 9.
        cases = [
            (9, "9", "Song09", None),
            (9, "8", "Song08", None),
            (18, "=9", "Song18", None),
            (18, "=8", "Song17", "Song18"),
        ]
        for total, keys, medium, last in cases:
            with self.subTest(songs=total, keys=keys):
                music = self.folder(f"music{total}-{keys}", song_names(total),
                                    long=["Song01.mp3"], medium=[medium + ".mp3"])
                self.start_main(music, total)
                self.term.type(keys)
                self.wait_playing(medium)
                self.wait_page(1, rows_of(1, 9), "Song01")
                self.assertEqual(self.stop_player(), 1)


if __name__ == "__main__":
    unittest.main()
