// Prints the benchmark results of several builds side by side, from the JSON files that
// Google Benchmark wrote for the bench programs of each build. Every figure is the median
// over the repetitions of the time per iteration (`cpu_time`, the thread's CPU time), with
// the fastest and slowest repetition; every ratio is taken between
// two medians (and, in brackets, two fastest repetitions) of the same build and the same
// run, except the win32 / win64 lines, which compare two builds of the same run.
//
//   node tools/bench_table.mjs LABEL=FOLDER...     e.g. native=build/bench win32=build/win32/bench
import fs from 'node:fs';
import path from 'node:path';

const builds = process.argv.slice(2).map((arg) => {
  const [label, folder] = arg.split('=');
  const runs = new Map();  // run name -> { times, allocs, entries }
  for (const file of fs.readdirSync(folder).filter((f) => /^bench_\w+\.json$/.test(f)).sort()) {
    // Google Benchmark writes NaN (and -nan) for the cv of a counter that is always 0.
    const text = fs.readFileSync(path.join(folder, file), 'utf8').replace(/:\s*-?nan\b/gi, ': null');
    // A program whose benchmarks the filter left out writes nothing, or no benchmark.
    if (text.trim() === '') continue;
    const results = JSON.parse(text);
    for (const b of results.benchmarks.filter((r) => r.run_type === 'iteration')) {
      const run = runs.get(b.run_name) ?? { times: [], allocs: 0, entries: 0 };
      run.times.push(b.cpu_time);
      run.allocs = Math.max(run.allocs, b.allocs ?? 0);
      // Items per iteration, from the items rate and the time it was taken over.
      if (b.items_per_second) run.entries = Math.round((b.items_per_second * b.cpu_time) / 1e9);
      runs.set(b.run_name, run);
    }
  }
  return { label, runs };
});

const median = (values) => {
  const v = [...values].sort((a, b) => a - b);
  return v.length % 2 ? v[(v.length - 1) / 2] : (v[v.length / 2 - 1] + v[v.length / 2]) / 2;
};
const figure = (ns) => (ns >= 10000 ? `${(ns / 1000).toFixed(1)} us` : ns >= 100 ? `${ns.toFixed(0)} ns` : `${ns.toFixed(1)} ns`);
const pad = (text, width) => String(text).padEnd(width);
const columns = (cells) => console.log(pad(cells[0], 52) + cells.slice(1).map((c) => pad(c, 30)).join('').trimEnd());

const names = [...new Set(builds.flatMap((b) => [...b.runs.keys()]))];
columns(['median per iteration (min..max)', ...builds.map((b) => b.label)]);
for (const name of names) {
  columns([name, ...builds.map((b) => {
    const run = b.runs.get(name);
    if (!run) return '-';
    return `${figure(median(run.times))} (${figure(Math.min(...run.times))}..${figure(Math.max(...run.times))})`;
  })]);
}

// Per entry from the median repetition, or (pick = Math.min) from the fastest one, which
// is the least disturbed on a busy machine.
const perEntry = (build, name, pick = median) => {
  const run = build.runs.get(name);
  return run && run.entries ? pick(run.times) / run.entries : NaN;
};
const fastest = (values) => Math.min(...values);
const times = (x) => (Number.isFinite(x) ? `${x.toFixed(2)}x` : '-');
const ns = (x) => (Number.isFinite(x) ? `${x.toFixed(2)} ns` : '-');

console.log('');
columns(['per entry, and ratios within a build', ...builds.map((b) => b.label)]);
for (const name of ['BM_evaluate_entries_decoded', 'BM_evaluate_default_mapping_decoded',
  'BM_evaluate_grouped_mapping_decoded', 'BM_baseline_table_walk']) {
  columns([`${name}, per entry`, ...builds.map((b) => ns(perEntry(b, name)))]);
}
for (const name of ['BM_evaluate_entries_decoded']) {
  const overWalk = (b, pick) => perEntry(b, name, pick) / perEntry(b, 'BM_baseline_table_walk', pick);
  columns([`${name.slice(3)} / walk, per entry`, ...builds.map((b) => `${times(overWalk(b))} (fastest: ${times(overWalk(b, fastest))})`)]);
}
columns(['most allocations, frames and evaluations', ...builds.map((b) => {
  const counts = [...b.runs].filter(([n]) => !n.startsWith('BM_configure')).map(([, r]) => r.allocs);
  return counts.length ? String(Math.max(...counts)) : '-';
})]);

const win32 = builds.find((b) => b.label === 'win32');
const win64 = builds.find((b) => b.label === 'win64');
if (win32 && win64) {
  console.log('');
  const ratio = (name) => {
    const of = (build, pick) => pick(build.runs.get(name)?.times ?? [NaN]);
    return `${times(of(win32, median) / of(win64, median))} (fastest: ${times(of(win32, fastest) / of(win64, fastest))})`;
  };
  columns(['win32 / win64, same run', '']);
  columns(['  BM_evaluate_entries_decoded', ratio('BM_evaluate_entries_decoded')]);
  columns(['  BM_baseline_table_walk', ratio('BM_baseline_table_walk')]);
  columns(['  BM_frame_poll_and_read/controllers:2', ratio('BM_frame_poll_and_read/controllers:2')]);
  columns(['  BM_frame_poll_and_read/controllers:8', ratio('BM_frame_poll_and_read/controllers:8')]);
}
