#!/bin/sh
# Writes a compressed manual page from a program's own --help, and from the
# --help of each subcommand it lists (and theirs, and so on), so that the page
# follows the program's options without being written twice.
#   manpage.sh PROGRAM NAME SUMMARY VERSION OUTPUT.1.gz
# The help is the CLI11 layout: a description, "Usage: ...", then groups (a
# heading ending in ":" at column 0, items indented by two blanks, a
# description from column 31 or on the next line), then free text.
set -eu
program=$1 name=$2 summary=$3 version=$4 output=$5
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

help_of() {  # help_of [SUBCOMMAND...]: the help text, the program's path replaced by its name
  "$program" "$@" --help </dev/null 2>&1 | sed "s|$program|$name|g"
}

# The names listed under "Subcommands:" in a help text.
subcommands_in() {
  awk '/^Subcommands:/ { on = 1; next } on && /^[^ ]/ { on = 0 }
       on && /^  [^ ]/ { print $1 }'
}

# Turns one help text into roff; $1 is the heading level of its groups.
to_roff() {
  awk -v level="$1" '
    function esc(s) { gsub(/\\/, "\\e", s); gsub(/-/, "\\-", s); return s }
    function text(s) { s = esc(s); if (s ~ /^[.\047]/) s = "\\&" s; print s }
    function flush() { if (desc != "") text(desc); desc = "" }
    BEGIN { part = "description" }
    /^Usage: / {
      flush(); sub(/^Usage: /, ""); print ".PP"; print ".B " esc($0); part = "body"; next
    }
    part == "body" && /^[^ ].*:$/ && !/^Example:$/ {
      flush(); print ".PP"; print "." level " \"" esc(substr($0, 1, length($0) - 1)) "\""
      part = "items"; next
    }
    part == "items" && /^  [^ ]/ {
      flush()
      item = substr($0, 3, 28); desc = substr($0, 31)
      if (length($0) > 30 && substr($0, 30, 1) != " ") {  # a long name: its text follows
        item = substr($0, 3); desc = ""
      }
      sub(/ +$/, "", item); sub(/^ +/, "", desc)
      split(item, words, " ")
      rest = substr(item, length(words[1]) + 1)
      print ".TP"; print "\\fB" esc(words[1]) "\\fR" esc(rest)
      next
    }
    part == "items" && /^    / { line = $0; sub(/^ +/, "", line); desc = desc (desc == "" ? "" : " ") line; next }
    /^$/ { flush(); if (part == "items") part = "body"; print ".PP"; was_indented = 0; next }
    part == "items" { part = "body" }
    {  # free text: prose lines join, indented ones (examples) keep their own line
      flush(); indented = ($0 ~ /^ /)
      if (indented || was_indented) print ".br"
      text($0); was_indented = indented
    }
    END { flush() }'
}

# Every subcommand path below the given one, depth first: "config", "config show", ...
walk() {
  for sub in $(help_of "$@" | subcommands_in); do
    echo "$* $sub" | sed 's/^ //'
    # shellcheck disable=SC2086
    walk "$@" $sub
  done
}

page=$(mktemp)
trap 'rm -f "$page"' EXIT
upper=$(echo "$name" | tr '[:lower:]' '[:upper:]')
{
  echo ".TH $upper 1 \"$(date -u +%Y-%m-%d)\" \"$name $version\" \"W_QM90\""
  echo ".ad l"
  echo ".SH NAME"
  echo "$name \\- $summary"
  echo ".SH DESCRIPTION"
  help_of | to_roff SS
  commands=$(walk)
  if [ -n "$commands" ]; then
    echo ".SH COMMANDS"
    echo "$commands" | while read -r path; do
      echo ".SS \"$name $path\""
      # shellcheck disable=SC2086
      help_of $path | to_roff B
    done
  fi
  echo ".SH SEE ALSO"
  echo ".BR W_QM90 (1)."
  echo "The user guide, user\\-guide.md, in share/doc/qm90 of the installation"
  echo "(/usr/share/doc/qm90 for the Debian package)."
} >"$page"
[ -s "$page" ] || { echo "manpage.sh: no page for $name" >&2; exit 1; }
gzip -9n -c "$page" >"$output"
