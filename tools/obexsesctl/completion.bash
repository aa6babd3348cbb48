# SPDX-License-Identifier: MIT
# bash completion of obexsesctl: its commands, each command's options, and
# the values of --output and --side; folders after --data, files elsewhere.
_obexsesctl() {
  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]}
  local commands="list show verify salvage prune settings demo"
  local common="--data --output --help --help-all"
  case $previous in
    --output) mapfile -t COMPREPLY < <(compgen -W "text json" -- "$current"); return ;;
    --side) mapfile -t COMPREPLY < <(compgen -W "client server" -- "$current"); return ;;
    --data) mapfile -t COMPREPLY < <(compgen -d -- "$current"); return ;;
    -o | --out | --lib) mapfile -t COMPREPLY < <(compgen -f -- "$current"); return ;;
    --older-than) return ;;
  esac
  local word command=
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    [[ " $commands " == *" $word "* ]] && command=$word && break
  done
  local options
  case $command in
    "") options="$commands $common --version" ;;
    verify) options="$common --side" ;;
    salvage) options="$common --side -o --out" ;;
    prune) options="$common --older-than --dry-run" ;;
    demo) options="$common --lib --trace" ;;
    *) options=$common ;;
  esac
  mapfile -t COMPREPLY < <(compgen -W "$options" -- "$current")
  if [[ $current != -* && ($command == verify || $command == salvage) ]]; then
    mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$current")
  fi
}
complete -F _obexsesctl obexsesctl
