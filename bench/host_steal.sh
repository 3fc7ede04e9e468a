# CPU time the host takes from this virtual machine ("steal"): while the host runs something else, nothing here
# runs, neither the audio server nor the program, and a burst of tens of milliseconds shows as a glitch that
# no cushion of ordinary size rides out. The benchmarks report it beside their figures. Source this file.

# steal_sample FILE: "uptime stolen-ticks" every half second, until killed (run it in the background).
steal_sample() {
  while :; do
    echo "$(cut -d' ' -f1 /proc/uptime) $(awk '/^cpu / {print $9}' /proc/stat)"
    sleep 0.5
  done >"$1"
}

# steal_summary FILE: the stolen time in all, and the half-seconds in which more than 20 ms was stolen.
steal_summary() {
  awk -v hz="$(getconf CLK_TCK)" '
    NR > 1 { d = ($2 - p) * 1000 / hz; total += d; if (d > 20) { bursts++; if (d > worst) worst = d } }
    { p = $2 }
    END { printf "CPU time stolen by the host: %d ms in all; %d half-seconds with more than 20 ms stolen%s\n",
                 total, bursts, bursts ? sprintf(" (the worst %d ms)", worst) : "" }' "$1"
}
