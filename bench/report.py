#!/usr/bin/env python3
"""Prints the benchmark figures as one table, with the ratios and the goals.

Usage: report.py CALLS_JSON CLOCK_JSON

CALLS_JSON is the output of opkit_bench run with repetitions (aggregates only): medians of
the repetitions are used. CLOCK_JSON is the output of opkit_bench_clock, whose counters are
already medians, percentiles and totals over its runs. Exits with 1 when a benchmark
reported an error (a path not taken, outputs that differ), so a broken figure never passes
as a measurement.
"""

import json
import sys


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def medians(data):
    """run_name -> median entry (or the single run when there were no repetitions)."""
    found = {}
    for entry in data["benchmarks"]:
        name = entry.get("run_name", entry["name"])
        if entry.get("run_type") == "aggregate":
            if entry.get("aggregate_name") == "median":
                found[name] = entry
        elif name not in found:
            found[name] = entry
    return found


def errors(data):
    return [
        f'{entry["name"]}: {entry.get("error_message", "error")}'
        for entry in data["benchmarks"]
        if entry.get("error_occurred")
    ]


def ns(entry, field="cpu_time"):
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry.get("time_unit", "ns")]
    return entry[field] * scale


def verdict(ok):
    return "ok" if ok else "MISSED"


def section(title):
    print()
    print(title)
    print("-" * len(title))


def call_cost(runs, reps):
    section(f"Call cost: main(3, record) on the success path, null host "
            f"(CPU ns per call, median of {reps})")
    rows = [("DICOUNT", "store into a variable"), ("POPUPWN", "open, 8 rows"),
            ("COMPARE", "EQ, two 11-char texts"), ("CMP_INT", "GT, 12345 and -678"),
            ("INTMATH", "+, writes variable 1"), ("CHKUNIQ", "verify, new value"),
            ("TM_DATE", "24 h, AMER"), ("TRANMSG", "N"), ("V_DELAY", "count 1: 2 passes"),
            ("V_DELAY_one_pass", "count 0: 1 pass"),
            ("WAIT_UV", "variable already set"), ("DICOUNT_increment", "increment")]
    base = runs.get("Call/TRANMSG")
    print(f'{"function":<10}{"call":<24}{"ns/call":>9}{"wall ns":>9}{"x TRANMSG":>11}'
          f'{"services":>10}{"host ns":>9}{"own %":>7}')
    for name, what in rows:
        entry = runs.get(f"Call/{name}")
        label = {"DICOUNT_increment": "DICOUNT", "V_DELAY_one_pass": "V_DELAY"}.get(name, name)
        if entry is None or entry.get("error_occurred"):
            print(f"{label:<10}{what:<24}{'error' if entry else 'not run':>9}")
            continue
        ratio = ns(entry) / ns(base) if base else float("nan")
        line = (f"{label:<10}{what:<24}{ns(entry):>9.1f}{ns(entry, 'real_time'):>9.1f}"
                f"{ratio:>11.2f}")
        if "services_ns" in entry:
            # The host's share: the same service calls made again straight against the null
            # host; the rest of the call is the library's own work.
            own = (ns(entry) - entry["services_ns"]) / ns(entry) * 100.0
            line += f'{entry["services"]:>10.0f}{entry["services_ns"]:>9.1f}{own:>7.0f}'
        print(line)
    one, two = runs.get("Call/V_DELAY_one_pass"), runs.get("Call/V_DELAY")
    if one and two and "services_ns" in one and "services_ns" in two:
        pass_ns = ns(two) - ns(one)
        services = two["services_ns"] - one["services_ns"]
        print(f"one V_DELAY pass: {pass_ns:.1f} ns, its three services {services:.1f} ns, "
              f"own work {pass_ns - services:.1f} ns  (goal: no more than its services: "
              f"{verdict(pass_ns <= services + 1.0)})")
    print("name lookup alone (dispatch_find_columns), by position in the table:  goal < 3 ns, "
          "all alike")
    lookups = []
    for label, what in [("first", "DICOUNT, 1st entry"), ("TRANMSG", "TRANMSG, 8th entry"),
                        ("last", "wait_uv, 10th entry"), ("none", "no such name")]:
        entry = runs.get(f"Dispatch/{label}")
        if entry:
            lookups.append(ns(entry))
            print(f"{'':<10}{what:<24}{ns(entry):>9.1f}{ns(entry, 'real_time'):>9.1f}"
                  f"  {verdict(ns(entry) < 3.0)}")
    if lookups:
        spread = max(lookups) - min(lookups)
        print(f"{'':<10}{'spread, slowest - fastest':<24}{spread:>9.2f}")


def growth(runs, reps):
    section(f"Cost of growth (CPU ns per call, median of {reps})")
    lengths = [0, 1, 25, 131]
    print(f'{"function":<34}' + "".join(f"{'len ' + str(n):>10}" for n in lengths))
    rows = [("CHKUNIQ verify (0: found, else new)", "Growth/CHKUNIQ"),
            ("COMPARE EQ of equal texts", "Growth/COMPARE")]
    for label, prefix in rows:
        cells = []
        for n in lengths:
            entry = runs.get(f"{prefix}/{n}")
            cells.append(f"{ns(entry):>10.1f}" if entry else f"{'-':>10}")
        print(f"{label:<34}" + "".join(cells))


def formatter(runs, reps):
    section(f"Formatter: scr_printf (row -1) against snprintf and fmt::format_to_n, same text and "
            f"capacity (CPU ns, median of {reps}, interleaved)")
    print(f'{"format":<18}{"scr_printf":>12}{"snprintf":>12}{"fmt":>8}'
          f'{"/snprintf":>11}  goal <= 0.6{"/fmt":>7}  goal <= 1.0')
    # In the order the formats were registered, whatever order the interleaved runs took.
    ordered = sorted((entry.get("family_index", 0), name) for name, entry in runs.items())
    labels = [name.split("/")[1] for _, name in ordered
              if name.startswith("Format/") and name.endswith("/scr_printf")]
    worst_c, worst_fmt = 0.0, 0.0
    for label in labels:
        ours = runs.get(f"Format/{label}/scr_printf")
        theirs = runs.get(f"Format/{label}/snprintf")
        fmt = runs.get(f"Format/{label}/fmt")
        if any(not e or e.get("error_occurred") for e in (ours, theirs, fmt)):
            print(f"{label:<18}{'error':>12}")
            continue
        ratio_c = ns(ours) / ns(theirs)
        ratio_fmt = ns(ours) / ns(fmt)
        worst_c, worst_fmt = max(worst_c, ratio_c), max(worst_fmt, ratio_fmt)
        print(f"{label:<18}{ns(ours):>12.1f}{ns(theirs):>12.1f}{ns(fmt):>8.1f}"
              f"{ratio_c:>11.2f}  {verdict(ratio_c <= 0.6):<11}{ratio_fmt:>7.2f}  "
              f"{verdict(ratio_fmt <= 1.0)}")
    if labels:
        print(f"{'worst ratios':<50}{worst_c:>11.2f}  {verdict(worst_c <= 0.6):<11}"
              f"{worst_fmt:>7.2f}  {verdict(worst_fmt <= 1.0)}")


def clock(runs):
    section("Real clock: V_DELAY (emulated host, real-time mode, plug-in loaded as a host does)")
    print("wall: median wall time of the call; direct: the same passes made straight against "
          "the host (the services' own time);")
    print("over: wall beyond nominal; beyond direct: wall minus direct, as a share of nominal")
    print(f'{"count":>5}{"passes":>8}{"nominal ms":>12}{"wall ms":>10}{"direct ms":>11}'
          f'{"over %":>8}{"beyond direct %":>17}{"cpu %":>8}  goal: beyond direct <= 3 %, cpu < 1 %')
    for name, entry in runs.items():
        if not name.startswith("Clock/V_DELAY/"):
            continue
        if entry.get("error_occurred"):
            print(f"{name}: error")
            continue
        count = name.split("/")[2]
        ok = entry["over_direct_pct"] <= 3.0 and entry["cpu_pct"] < 1.0
        print(f'{count:>5}{entry["passes"]:>8.0f}{entry["nominal_ms"]:>12.1f}'
              f'{entry["wall_median_ms"]:>10.1f}{entry["direct_median_ms"]:>11.1f}'
              f'{entry["over_pct"]:>8.2f}{entry["over_direct_pct"]:>17.2f}'
              f'{entry["cpu_pct"]:>8.2f}  {verdict(ok)}')

    section("Real clock: WAIT_UV")
    for name, entry in runs.items():
        if not name.startswith("Clock/WAIT_UV_latency"):
            continue
        if entry.get("error_occurred"):
            print(f"latency: error ({entry.get('error_message')})")
            continue
        ok = entry["latency_p99_us"] < 1000.0 and entry["cpu_pct"] < 1.0
        print(f'variable filled by another thread after 100 ms, timeout 5 s, '
              f'{entry["iterations"]} runs:')
        print(f'  latency event -> return: median {entry["latency_median_us"]:.0f} us, '
              f'p99 {entry["latency_p99_us"]:.0f} us, max {entry["latency_max_us"]:.0f} us; '
              f'cpu {entry["cpu_pct"]:.3f} % of wall; {entry["waits"]:.1f} _WaitEvent per call'
              f'  (goal: p99 < 1000 us, cpu < 1 %: {verdict(ok)})')
    for name, entry in runs.items():
        if not name.startswith("Clock/WAIT_UV_no_event"):
            continue
        if entry.get("error_occurred"):
            print(f"no event: error ({entry.get('error_message')})")
            continue
        zero_wait = entry.get("zero_wait_ms", 0)
        if zero_wait < 0:
            host = "a zero wait returning at once"
        elif zero_wait == 0:
            host = "a zero wait lasting until the host's seconds tick"
        else:
            host = f"a zero wait lasting {zero_wait:.0f} ms"
        print(f'no event, timeout 5 s, {host}, {entry["iterations"]} runs:')
        beyond = entry.get("cpu_beyond_direct_pct")
        ok = entry["waits_max"] <= 60 and (beyond if beyond is not None else entry["cpu_pct"]) < 0.05
        print(f'  wall {entry["wall_ms"]:.0f} ms, {entry["waits"]:.1f} _WaitEvent per call '
              f'(most {entry["waits_max"]:.0f}), cpu {entry["cpu_pct"]:.4f} % of wall')
        if beyond is not None:
            print(f'  the same waits and services made directly: {entry["direct_us_per_wait"]:.0f} us '
                  f'cpu per wait; beyond them {beyond:.4f} % of wall')
        print(f'  (goal: at most 60 waits, cpu beyond the direct waits < 0.05 %: {verdict(ok)})')


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    calls = load(argv[1])
    clock_data = load(argv[2])
    runs = medians(calls)
    reps = max((e.get("repetitions", 1) for e in calls["benchmarks"]), default=1)
    context = calls["context"]
    print(f'opkit benchmarks, {context["date"]}, {context["num_cpus"]} CPUs at '
          f'{context["mhz_per_cpu"]} MHz, load average '
          f'{", ".join(f"{x:.2f}" for x in context.get("load_avg", []))}')
    call_cost(runs, reps)
    growth(runs, reps)
    formatter(runs, reps)
    clock(medians(clock_data))
    problems = errors(calls) + errors(clock_data)
    if problems:
        print()
        print("ERRORS (these figures were not taken):")
        for problem in problems:
            print(f"  {problem}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
