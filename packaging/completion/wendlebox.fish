# fish completion for wendlebox: options, the command words, saved chat numbers.

function __wendlebox_chats
    wendlebox --chats-all 2>/dev/null | sed -n 's/^\([0-9][0-9]*\)  .*/\1/p'
end

complete -c wendlebox -f
complete -c wendlebox -n __fish_is_first_arg -a 'setup' -d 'Install wendlebox and its extension'
complete -c wendlebox -n __fish_is_first_arg -a 'doctor' -d 'Check the installation'
complete -c wendlebox -n __fish_is_first_arg -a 'uninstall' -d 'Remove what setup installed'
complete -c wendlebox -n __fish_is_first_arg -a 'version' -d 'Show the version'
complete -c wendlebox -n '__fish_seen_subcommand_from uninstall' -l purge -d 'Also remove settings and saved chats'
complete -c wendlebox -a '(__wendlebox_chats)' -d 'Saved chat'
complete -c wendlebox -l block-commands -d 'Ask before running shell commands'
complete -c wendlebox -l allow-commands -d 'Run commands without asking'
complete -c wendlebox -l review-edits -d 'Show each change to a file and ask before applying it'
complete -c wendlebox -l apply-edits -d 'Apply changes to files without asking'
complete -c wendlebox -l no-browser -d 'Start without opening the browser'
complete -c wendlebox -l browser -x -a 'default firefox firefox-esr chromium google-chrome' -d 'Open ChatGPT with this browser from now on'
complete -c wendlebox -l force-yes -d 'Allow every request of this session'
complete -c wendlebox -l block-sounds -d 'Silence task completion sounds'
complete -c wendlebox -l allow-sounds -d 'Play task completion sounds again'
complete -c wendlebox -l block-git -d 'Disable automatic Git snapshots and commits'
complete -c wendlebox -l allow-git -d 'Enable automatic Git again'
complete -c wendlebox -l no-project-instructions -d 'Stop sending the project'\''s AGENTS.md to new chats'
complete -c wendlebox -l project-instructions -d 'Send the project'\''s AGENTS.md with each chat again'
complete -c wendlebox -l add-folder -r -a '(__fish_complete_directories)' -d 'Allow file access to a folder'
complete -c wendlebox -l remove-folder -r -a '(__fish_complete_directories)' -d 'Remove a folder from the allow list'
complete -c wendlebox -l list-folders -d 'List allowed folders'
complete -c wendlebox -l chats -d "List this project's saved chats"
complete -c wendlebox -l history -d "List this project's saved chats"
complete -c wendlebox -l list -d "List this project's saved chats"
complete -c wendlebox -l chats-all -d 'List saved chats from every project'
complete -c wendlebox -l chatlog -x -a '(__wendlebox_chats)' -d 'Show local prompts and final replies'
complete -c wendlebox -l probe -d "Report what the extension finds on ChatGPT's page"
complete -c wendlebox -l version -d 'Show the version'
complete -c wendlebox -l help -d 'Show the help'
