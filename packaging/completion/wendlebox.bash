# bash completion for wendlebox: options, the command words, saved chat numbers.

_wendlebox_chats() {
  wendlebox --chats-all 2>/dev/null | sed -n 's/^\([0-9][0-9]*\)  .*/\1/p'
}

_wendlebox() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    --add-folder|--remove-folder)
      COMPREPLY=($(compgen -d -- "$cur"))
      return ;;
    --browser)
      COMPREPLY=($(compgen -c -W default -- "$cur"))
      return ;;
    --chatlog|--probe)
      COMPREPLY=($(compgen -W "$(_wendlebox_chats)" -- "$cur"))
      return ;;
  esac
  if ((COMP_CWORD == 2)) && [[ ${COMP_WORDS[1]} == uninstall ]]; then
    COMPREPLY=($(compgen -W "--purge" -- "$cur"))
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "--block-commands --allow-commands --review-edits --apply-edits --no-browser --browser --force-yes
      --block-sounds --allow-sounds --block-git --allow-git --no-project-instructions --project-instructions --add-folder
      --remove-folder --list-folders --chats --chats-all --history --list --chatlog --probe --version --help" -- "$cur"))
  elif ((COMP_CWORD == 1)); then
    COMPREPLY=($(compgen -W "setup doctor uninstall version $(_wendlebox_chats)" -- "$cur"))
  else
    COMPREPLY=($(compgen -W "$(_wendlebox_chats)" -- "$cur"))
  fi
}

complete -F _wendlebox wendlebox
