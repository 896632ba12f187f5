"""Tests of the benchmark table's arithmetic: a wrong median or a mispaired log
line would put a false figure in the table without anything failing."""

import unittest

import analysis


class StatisticsTest(unittest.TestCase):
    def test_median_of_odd_and_even_counts_ignores_order(self):
        cases = [([3, 1, 2], 2), ([4, 1, 3, 2], 2.5), ([7], 7), ([10, 10, 1, 1000], 10)]
        for values, expected in cases:
            with self.subTest(values=values):
                self.assertEqual(analysis.median(values), expected)

    def test_percentile_is_nearest_rank(self):
        values = list(range(1, 201))        # 1 .. 200
        cases = [(99, 198), (50, 100), (100, 200), (0.1, 1)]
        for p, expected in cases:
            with self.subTest(p=p):
                self.assertEqual(analysis.percentile(values, p), expected)

    def test_percentile_of_a_few_values_takes_the_largest_for_high_p(self):
        self.assertEqual(analysis.percentile([5, 1, 9], 99), 9)

    def test_empty_input_and_bad_p_are_refused(self):
        with self.assertRaises(ValueError):
            analysis.median([])
        with self.assertRaises(ValueError):
            analysis.percentile([], 50)
        with self.assertRaises(ValueError):
            analysis.percentile([1], 0)


class HotplugPairingTest(unittest.TestCase):
    LOG = [
        "1000 TUSBAUDIO_GetDriverInfo -> 0 major=5 minor=12\n",     # before any POST: ignored
        "2000 POST 1024 1\n",
        "2100 TUSBAUDIO_EnumerateDevices -> 0\n",
        "2300 TUSBAUDIO_GetDeviceCount -> 2\n",
        "9000 TUSBAUDIO_GetDriverInfo -> 0 major=5 minor=12\n",
        "9500 TUSBAUDIO_GetDriverInfo -> 0 major=5 minor=12\n",     # a second paint: not paired again
        "20000 POST 1024 2\n",
        "20000 POST 1025 1\n",                                      # another message: not ours
        "31000 TUSBAUDIO_GetDriverInfo -> 1\n",                     # a failed call is still the repaint
    ]

    def test_each_post_pairs_with_the_first_repaint_after_it(self):
        self.assertEqual(analysis.hotplug_latencies(self.LOG), [("1", 7000), ("2", 11000)])

    def test_two_posts_before_one_repaint_both_pair_with_it(self):
        log = ["100 POST 1024 2\n", "150 POST 1024 1\n", "400 TUSBAUDIO_GetDriverInfo -> 0\n"]
        self.assertEqual(analysis.hotplug_latencies(log), [("2", 300), ("1", 250)])

    def test_a_post_without_repaint_is_counted_as_unpaired(self):
        log = self.LOG + ["40000 POST 1024 1\n", "40100 TUSBAUDIO_EnumerateDevices -> 0\n"]
        self.assertEqual(len(analysis.hotplug_latencies(log)), 2)
        self.assertEqual(analysis.unpaired_posts(log), 1)

    def test_torn_and_foreign_lines_are_skipped(self):
        log = ["", "garbage\n", "12", "100 POST 1024 1\n", "POST 1024 1\n", "250 TUSBAUDIO_GetDriverInfo -> 0\n"]
        self.assertEqual(analysis.hotplug_latencies(log), [("1", 150)])


class ProcTest(unittest.TestCase):
    def test_schedstat_gives_cpu_time_and_timeslices(self):
        self.assertEqual(analysis.parse_schedstat("325142245 64439713 540\n"), (325142245, 540))

    def test_status_sums_both_kinds_of_switches_and_reads_rss(self):
        text = ("Name:\twin32 notificat\nState:\tS (sleeping)\nVmRSS:\t   51234 kB\n"
                "voluntary_ctxt_switches:\t7\nnonvoluntary_ctxt_switches:\t2\n")
        self.assertEqual(analysis.parse_status(text), {"name": "win32 notificat", "switches": 9, "rss_kb": 51234})

    def test_thread_status_without_rss(self):
        self.assertIsNone(analysis.parse_status("Name:\tx\nvoluntary_ctxt_switches:\t0\n")["rss_kb"])

    def test_thread_deltas_count_new_threads_from_zero_and_drop_ended_ones(self):
        before = {1: {"name": "main", "cpu_ns": 100, "switches": 5},
                  2: {"name": "gone", "cpu_ns": 50, "switches": 1}}
        after = {1: {"name": "main", "cpu_ns": 350, "switches": 9},
                 3: {"name": "new", "cpu_ns": 20, "switches": 2}}
        self.assertEqual(analysis.thread_deltas(before, after),
                         {1: {"name": "main", "cpu_ns": 250, "switches": 4},
                          3: {"name": "new", "cpu_ns": 20, "switches": 2}})

    def test_core_percent(self):
        self.assertAlmostEqual(analysis.core_percent(170_000_000, 10), 1.7)


class TableTest(unittest.TestCase):
    def test_columns_line_up_and_missed_goals_stand_out(self):
        table = analysis.format_table([
            analysis.Row("start-up to visible (ms)", "12.0", "10.0", "1.20", "<= 1.15", False),
            analysis.Row("paint (us)", "300", met=None),
        ]).splitlines()
        self.assertEqual(len({line.index("|") for line in table if "|" in line}), 1)
        self.assertIn("NO", table[2])
        self.assertTrue(table[1].startswith("-"))
        self.assertNotIn("yes", table[3])


if __name__ == "__main__":
    unittest.main()
