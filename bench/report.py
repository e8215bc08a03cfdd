#!/usr/bin/env python3
"""Prints the one benchmark table of bench/run as Markdown.

Reads the Google Benchmark JSON files (median aggregates, or the single run of a benchmark that
has no repetitions) and the "name<TAB>value" figures of the whole-process scripts from the run's
output folder. Exits 1 when a figure misses its target or could not be measured.

    report.py OUTPUT_DIR
"""
import json
import pathlib
import sys

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load_benchmarks(folder):
    """{program: [benchmark entries]} for every PROGRAM.json in the folder."""
    runs = {}
    for path in sorted(folder.glob("*.json")):
        try:
            runs[path.stem] = json.loads(path.read_text())["benchmarks"]
        except (OSError, ValueError, KeyError):
            runs[path.stem] = []
    return runs


def load_figures(folder):
    figures = {}
    path = folder / "figures.tsv"
    if path.exists():
        for line in path.read_text().splitlines():
            name, _, value = line.partition("\t")
            try:
                figures[name] = float(value)
            except ValueError:
                pass
    return figures


class Source:
    def __init__(self, folder):
        self.benchmarks = load_benchmarks(folder)
        self.figures = load_figures(folder)

    def entry(self, program, run_name):
        """The median aggregate of `run_name`, else its single run; None when absent or failed."""
        single = None
        for entry in self.benchmarks.get(program, []):
            if entry.get("run_name") != run_name or entry.get("error_occurred"):
                continue
            if entry.get("aggregate_name") == "median":
                return entry
            if entry.get("run_type") == "iteration" and single is None:
                single = entry
        return single

    def seconds(self, program, run_name, counter_ms=None):
        entry = self.entry(program, run_name)
        if entry is None:
            return None
        value = entry["real_time"] * UNIT_SECONDS[entry.get("time_unit", "ns")]
        if counter_ms is not None:
            value += entry.get(counter_ms, 0.0) / 1000.0
        return value

    def label(self, program, run_name):
        entry = self.entry(program, run_name)
        return entry.get("label", "") if entry else ""

    def figure(self, name, scale=1.0):
        value = self.figures.get(name)
        return None if value is None else value * scale


def fmt_time(seconds):
    if seconds is None:
        return "not measured"
    for unit, factor in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= factor:
            return f"{seconds / factor:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def fmt_kb(kb):
    return "not measured" if kb is None else f"{kb / 1024:.1f} MB"


def rows(src):
    """(figure, median text, target text, baseline text, ratio text, met: bool|None)."""
    out = []

    def timed(name, seconds, limit, strict=False):
        met = None if seconds is None else (seconds < limit if strict else seconds <= limit)
        out.append((name, fmt_time(seconds), ("< " if strict else "<= ") + fmt_time(limit),
                    "", "", met))

    def versus(name, ours, theirs, baseline_name, limit):
        ratio = ours / theirs if ours and theirs else None
        out.append((name, fmt_time(ours), f"<= {limit:g} x baseline",
                    f"{baseline_name}: {fmt_time(theirs)}",
                    "not measured" if ratio is None else f"{ratio:.2f}",
                    None if ratio is None else ratio <= limit))

    timed("ParseFeed, full feed", src.seconds("bench_core", "BM_ParseFullFeed"), 5e-6)
    timed("ParseFeed, unchanged text", src.seconds("bench_core", "BM_ParseUnchangedFeed"), 0.3e-6)
    timed("ReadDword", src.seconds("bench_core", "BM_ReadDword"), 20e-6)
    timed("WriteDword (committed)", src.seconds("bench_core", "BM_WriteDword"), 1e-3)
    for layout in range(6):
        timed(f"DrawSummary on the Qt context, layout {layout}",
              src.seconds("bench_drawing", f"BM_DrawSummary/{layout}/repeats:5"), 1e-3)
    for layout in range(6):
        timed(f"The strip as text for a screen reader (SummaryText), layout {layout}",
              src.seconds("bench_drawing", f"BM_SummaryText/{layout}/repeats:5"), 50e-6)
    timed("ReadHistory, 256 history records",
          src.seconds("bench_drawing", "BM_ReadHistory/repeats:5"), 0.5e-3)
    timed("DrawCurrentDetails, 256 history records",
          src.seconds("bench_drawing", "BM_DrawCurrentDetails/repeats:5"), 1e-3)

    ours = src.figure("download_gantrel_us", 1e-6)
    theirs = src.figure("download_curl_us", 1e-6)
    versus("Gantrel /downloadandexit, six cities and two maps (wall)", ours, theirs,
           "curl, same 8 URLs", 1.3)
    peak = src.figure("download_peak_rss_kb")
    out.append(("Gantrel /downloadandexit, peak resident memory", fmt_kb(peak), "<= 25 MB", "", "",
                None if peak is None else peak <= 25 * 1024))

    services = src.figure("ten_hosts_services")
    out.append(("Ten Today screens started at once: weather services started",
                "not measured" if services is None else f"{services:g}", "1", "", "",
                None if services is None else services == 1))
    strips = src.figure("ten_hosts_strips")
    out.append(("Ten Today screens started at once: strips with weather",
                "not measured" if strips is None else f"{strips:g} of 10", "10 of 10", "", "",
                None if strips is None else strips == 10))

    startup = src.figure("host_startup_ms", 1e-3)
    timed("Today host: start to first painted strip", startup, 0.3)
    for key, state in (("start_launch", "waiting after the start's launch"),
                       ("pass_launch", "waiting after a pass's launch"),
                       ("between_tries", "sleeping between tries"),
                       ("run_launch", "a download under way, waiting after its launch"),
                       ("run_sleeping", "a download under way, sleeping")):
        timed(f"Today host: close (SIGTERM to exit) while {state}",
              src.figure(f"host_close_ms_{key}", 1e-3), 1.0)
    timed("First start: empty home to first painted strip with downloaded weather",
          src.figure("first_start_ms", 1e-3), 3)
    cpu = src.figure("host_idle_cpu_percent")
    idle_s = src.figure("host_idle_seconds")
    out.append((f"Today host with item: idle CPU over {idle_s:g} s" if idle_s else
                "Today host with item: idle CPU",
                "not measured" if cpu is None else f"{cpu:.3f} % of one core", "< 0.5 %", "", "",
                None if cpu is None else cpu < 0.5))
    cpu = src.figure("host_idle_cpu_a11y_percent")
    idle_s = src.figure("host_idle_a11y_seconds")
    out.append((f"Today host with item and a screen reader's bus: idle CPU over {idle_s:g} s"
                if idle_s else "Today host with item and a screen reader's bus: idle CPU",
                "not measured" if cpu is None else f"{cpu:.3f} % of one core", "< 0.5 %", "", "",
                None if cpu is None else cpu < 0.5))
    cpu = src.figure("tray_idle_cpu_percent")
    out.append(("Today host in the panel (--tray): idle CPU",
                "not measured" if cpu is None else f"{cpu:.3f} % of one core", "< 0.5 %", "", "",
                None if cpu is None else cpu < 0.5))
    added = src.figure("tray_added_kb")
    out.append(("Today host in the panel: memory added to the host without it", fmt_kb(added),
                "<= 5 MB", "", "", None if added is None else added <= 5 * 1024))
    timed("Panel icon and tooltip brought up to date after new weather",
          src.seconds("bench_tray", "BM_TrayUpdateAfterNewWeather"), 5e-3)
    rss = src.figure("host_rss_kb")
    out.append(("Today host with item: resident memory", fmt_kb(rss), "<= 60 MB", "", "",
                None if rss is None else rss <= 60 * 1024))
    plugin = src.figure("host_plugin_kb")
    out.append(("Today host: memory the plug-in adds", fmt_kb(plugin), "<= 3 MB", "", "",
                None if plugin is None else plugin <= 3 * 1024))

    timed("Setup sheet: first open on Install, six cities, to first paint (QApplication incl.)",
          src.seconds("bench_sheet", "BM_OpenSheetOnInstallPageCold/iterations:1",
                      counter_ms="qapplication_ms"), 0.5)
    timed("Setup sheet: later opens on Install, to first paint",
          src.seconds("bench_sheet", "BM_OpenSheetOnInstallPage/iterations:20/repeats:5"), 0.5)
    timed("Setup sheet: the Hourly page's paint",
          src.seconds("bench_sheet", "BM_PaintHourlyPage/iterations:50/repeats:5"), 5e-3)
    for tab in range(1, 11):
        run = f"BM_SwitchToShownPage/{tab}/iterations:20/repeats:5"
        page = src.label("bench_sheet", run) or f"tab {tab}"
        timed(f"Setup sheet: switch to the shown {page} page", src.seconds("bench_sheet", run),
              50e-3)

    calm99 = src.figure("service_calm_p99_us", 1e-6)
    timed("Weather service: hourly document beside the calm feed load, p99",
          src.figure("service_hourly_p99_us", 1e-6), 2e-3)
    versus("Download run, six cities' part in process, with their hours",
           src.seconds("bench_download_run", "BM_DownloadRunWithHours/iterations:10/repeats:5"),
           src.seconds("bench_download_run",
                       "BM_DownloadRunWithoutHours/iterations:10/repeats:5"),
           "feeds alone", 1.25)
    for phase, label in (("calm", "calm"), ("hostile", "1,000 hostile connections open")):
        timed(f"Weather service, 10,000 feed requests from 8 clients, {label}: p50",
              src.figure(f"service_{phase}_p50_us", 1e-6), 1e-3)
        p99 = src.figure(f"service_{phase}_p99_us", 1e-6)
        if phase == "calm":
            timed(f"Weather service, 10,000 feed requests from 8 clients, {label}: p99", p99, 20e-3)
        else:
            ratio = p99 / calm99 if p99 and calm99 else None
            out.append((f"Weather service, 10,000 feed requests from 8 clients, {label}: p99",
                        fmt_time(p99), "<= 20 ms and <= 3 x calm", f"calm: {fmt_time(calm99)}",
                        "not measured" if ratio is None else f"{ratio:.2f}",
                        None if ratio is None else p99 <= 20e-3 and ratio <= 3))
        failed = src.figure(f"service_{phase}_failed")
        out.append((f"Weather service, {label}: failed requests",
                    "not measured" if failed is None else f"{failed:g}", "0", "", "",
                    None if failed is None else failed == 0))
    rss = src.figure("service_peak_rss_kb")
    out.append(("Weather service under that load: peak resident memory", fmt_kb(rss), "<= 64 MB",
                "", "", None if rss is None else rss <= 64 * 1024))
    half = src.figure("service_codes_half_rss_kb")
    full = src.figure("service_codes_all_rss_kb")
    growth = src.figure("service_codes_growth_kb")
    out.append(("Weather service after 100,000 different coordinate codes (live, stand-in API): "
                "resident memory", fmt_kb(full), "<= 64 MB", f"after 50,000: {fmt_kb(half)}", "",
                None if full is None else full <= 64 * 1024))
    out.append(("Weather service: growth of resident memory from 50,000 to 100,000 codes",
                fmt_kb(growth), "<= 2 MB (flat)", "", "",
                None if growth is None else growth <= 2 * 1024))
    failed = src.figure("service_codes_failed")
    out.append(("Weather service under 100,000 codes: failed requests",
                "not measured" if failed is None else f"{failed:g}", "0", "", "",
                None if failed is None else failed == 0))
    timed("Weather service: exit after SIGTERM with 3,000 connections open",
          src.figure("service_sigterm_exit_us", 1e-6), 1.0)
    timed("Weather service started by socket activation: first answer (whole process)",
          src.figure("service_activation_first_answer_us", 1e-6), 0.15)
    timed("City chooser: region list of every country file",
          src.seconds("bench_chooser", "BM_BuildRegionList/repeats:5"), 30e-3)
    largest = src.label("bench_chooser", "BM_LoadLargestRegion/repeats:5")
    timed(f"City chooser: load the largest region ({largest or 'largest'}) into the list",
          src.seconds("bench_chooser", "BM_LoadLargestRegion/repeats:5"), 50e-3)
    timed("City chooser: open on a code of the last region",
          src.seconds("bench_chooser", "BM_OpenOnLastRegionCode/repeats:5"), 300e-3)
    timed("City chooser: first open, empty slot",
          src.seconds("bench_chooser", "BM_OpenChooser/repeats:5"), 300e-3)
    timed("City chooser: one keystroke of search over every place",
          src.seconds("bench_chooser", "BM_SearchKeystroke/repeats:5"), 5e-3)
    index = src.entry("bench_chooser", "BM_IndexMemory/iterations:1/repeats:3")
    heap = index.get("heap_MB") if index else None
    out.append(("City chooser: memory of the search index",
                "not measured" if heap is None else f"{heap:.1f} MB", "<= 5 MB", "", "",
                None if heap is None else heap <= 5))
    timed("weather-service: start to \"listening on\", every region file loaded",
          src.figure("service_start_us", 1e-6), 200e-3)
    rss = src.figure("service_rss_kb")
    out.append(("weather-service: resident memory once listening", fmt_kb(rss), "<= 40 MB", "", "",
                None if rss is None else rss <= 40 * 1024))

    ours = src.figure("map_pipeline_us", 1e-6)
    theirs = src.figure("map_djpeg_cjpeg_us", 1e-6)
    versus("Map pipeline, one 400 x 300 picture (whole process)", ours, theirs,
           "djpeg + cjpeg -quality 100", 1.5)
    timed("Map picture drawn stretched to 240 x 180",
          src.seconds("bench_maps", "BM_DrawStretched240x180"), 2e-3)

    timed("Live maps: one radar picture composed from cached tiles (incl. JPEG)",
          src.seconds("bench_live_maps", "BM_ComposeFromCachedTiles"), 20e-3)
    timed("Live maps: one cold radar picture from the local stand-ins",
          src.seconds("bench_live_maps", "BM_ColdPicture/iterations:20"), 300e-3)
    memory = src.entry("bench_live_maps_memory", "BM_ResidentMemoryAfterPictures/iterations:1")
    for count in (1000, 6000, 8000):
        mb = memory.get(f"rss_mb_after_{count}") if memory else None
        out.append((f"Live maps: resident memory after {count:,} different pictures "
                    "(maps and client in-process, stand-ins forked)",
                    "not measured" if mb is None else f"{mb:.1f} MB", "<= 120 MB", "", "",
                    None if mb is None else mb <= 120))
    full, later = ((memory.get(f"rss_mb_after_{n}") for n in (6000, 8000)) if memory
                   else (None, None))
    growth = None if full is None or later is None else later - full
    out.append(("Live maps: memory growth from 6,000 to 8,000 pictures (caches full)",
                "not measured" if growth is None else f"{growth:.1f} MB", "<= 2 MB", "", "",
                None if growth is None else growth <= 2))
    return out


def main():
    folder = pathlib.Path(sys.argv[1])
    table = rows(Source(folder))
    print("| Figure | Median | Target | Baseline (same run) | Ratio | Met |")
    print("|---|---|---|---|---|---|")
    missed = 0
    for name, median, target, baseline, ratio, met in table:
        verdict = "yes" if met else ("NOT MEASURED" if met is None else "NO")
        if not met:
            missed += 1
        print(f"| {name} | {median} | {target} | {baseline} | {ratio} | {verdict} |")
    print()
    print(f"{len(table) - missed} of {len(table)} figures within their targets")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
