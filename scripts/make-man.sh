#!/usr/bin/env bash
# Writes the manual page from the program's own English help, so the two
# never disagree: make-man.sh <wendlebox> <version> <output>.
set -euo pipefail
program=$1 version=$2 output=$3
help=$(env -i PATH=/usr/bin:/bin HOME=/nonexistent WENDLEBOX_LANG=en "$program" --help)

# Troff reads a backslash as an escape and a leading dot or quote as a
# request; options want real minus signs.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^[.']/\\\\\\&&/"; }

{
  echo ".TH WENDLEBOX 1 \"\" \"wendlebox $version\" \"User Commands\""
  echo ".SH NAME"
  echo "wendlebox \\- lets ChatGPT in your browser work on a folder of your machine"
  echo ".SH SYNOPSIS"
  echo ".B wendlebox"
  echo "[\\fIprompt\\fR] [\\fIchat\\fR]"
  echo ".br"
  echo ".B wendlebox"
  echo "\\fIoption\\fR"
  echo ".br"
  echo ".B wendlebox"
  echo "\\fBsetup\\fR | \\fBdoctor\\fR | \\fBuninstall\\fR [\\fB\\-\\-purge\\fR] [\\fB\\-\\-help\\fR]"
  echo ".br"
  echo ".B wendlebox"
  echo "\\fBversion\\fR"
  echo ".SH DESCRIPTION"
  echo "wendlebox opens ChatGPT in your browser, where its companion extension hands it your prompt."
  echo "ChatGPT's answers ask for file and command actions, which run only inside the folders you allowed;"
  echo "each finished prompt becomes a Git commit."
  echo ".PP"
  # The paragraph after the rows.
  printf '%s\n' "$help" | awk 'NF && !/^  wendlebox/ && !/Contact:/' | roff
  echo ".SH USAGE"
  # "  wendlebox <usage>   <description>": the usage ends at the first run of two spaces or more.
  printf '%s\n' "$help" | grep '^  wendlebox' | sed -E 's/^  (wendlebox( ?[^ ])*)  +(.*)$/\1\t\3/' | roff |
    while IFS=$'\t' read -r usage description; do
      printf '.TP\n\\fB%s\\fR\n%s\n' "$usage" "$description"
    done
  echo ".SH FILES"
  for entry in "settings.json:the standing choices (commands, sounds, Git)" \
               "allowed\\-folders.json:the extra folders file actions may reach" \
               "chats.json:the saved chats of every project"; do
    printf '.TP\n.I ~/.config/wendlebox/%s\n%s\n' "${entry%%:*}" "${entry#*:}"
  done
  printf '.TP\n.I ~/.local/share/wendlebox/extension\nthe browser extension that setup installs\n'
  printf '.TP\n.I <project>/.wendlebox/chatlogs\nthe local log of each chat'"'"'s prompts and final replies\n'
  echo ".SH ENVIRONMENT"
  printf '.TP\n.B WENDLEBOX_LANG\nthe language (en, pt or es), before LC_ALL, LC_MESSAGES, LANGUAGE and LANG\n'
  printf '.TP\n.B NO_COLOR\nany value turns colours off\n'
  printf '.TP\n.B XDG_CONFIG_HOME, XDG_DATA_HOME\nwhere the configuration and data folders are, when set to an absolute path\n'
  echo ".SH EXIT STATUS"
  echo "0 on success; 1 when the command failed (the reason is on standard error), or when"
  echo ".B wendlebox doctor"
  echo "found something that would stop a session."
  echo ".SH SEE ALSO"
  echo ".BR git (1)"
} > "$output"
