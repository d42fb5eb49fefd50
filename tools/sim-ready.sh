# qm90-sim's ready line for scripts: "qm90-sim ready" followed by KEY=VALUE
# words (udp, pty, com, control; only what is served). The one grammar is
# emulator/ControlGrammar.h; this is its form for the shell.

# qm90_sim_ready_line FILE: the ready line in FILE, if it is there yet.
qm90_sim_ready_line() {
  grep -m1 '^qm90-sim ready' "$1" 2>/dev/null || true
}

# qm90_sim_ready_value LINE KEY: the value of KEY in a ready line, empty if none.
qm90_sim_ready_value() {
  local word words
  read -ra words <<<"$1"
  for word in "${words[@]}"; do
    case "$word" in "$2="*) printf '%s\n' "${word#"$2="}"; return 0 ;; esac
  done
}
