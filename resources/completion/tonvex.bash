# Bash completion for tonvex-cli and tonvex; installed under both names, so bash-completion loads it for
# either command.

_tonvex_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="render analyze bands normalize live control help"
  local processing="--config --volume-left --volume-right --limit-left --limit-right --limiter-attack
    --limiter-release --amplificator"
  if [ "$COMP_CWORD" -eq 1 ]; then
    COMPREPLY=($(compgen -W "$commands --help" -- "$cur"))
    return
  fi
  local command=${COMP_WORDS[1]}
  case $prev in
    --config) COMPREPLY=($(compgen -f -X '!*.tv[daxuh]' -- "$cur") $(compgen -d -- "$cur")); return ;;
    --side) COMPREPLY=($(compgen -W "left right both" -- "$cur")); return ;;
    --backend) COMPREPLY=($(compgen -W "pulse pipewire" -- "$cur")); return ;;
    --output | --block | --volume-* | --limit-* | --limiter-*) return ;;
  esac
  case $command in
    help) [ "$COMP_CWORD" -eq 2 ] && COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    render) COMPREPLY=($(compgen -W "$processing --help" -- "$cur")) ;;
    analyze) COMPREPLY=($(compgen -W "--side --block --amplificator --help" -- "$cur")) ;;
    live) COMPREPLY=($(compgen -W "$processing --output --backend --help" -- "$cur")) ;;
    bands | normalize) COMPREPLY=($(compgen -W "--help" -- "$cur")) ;;
    control)
      case $COMP_CWORD in
        2) COMPREPLY=($(compgen -W "preset file bypass status --help" -- "$cur")) ;;
        3) case $prev in
             bypass) COMPREPLY=($(compgen -W "on off toggle" -- "$cur")) ;;
             file) COMPREPLY=($(compgen -f -- "$cur")) ;;
           esac ;;
      esac
      return ;;
  esac
  # Positional arguments are files.
  [[ $cur == -* ]] || COMPREPLY+=($(compgen -f -- "$cur"))
}

_tonvex() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  if [ "$prev" = /F ]; then
    COMPREPLY=($(compgen -f -X '!*.tv[daxu]' -- "$cur") $(compgen -d -- "$cur"))
  elif [ "$COMP_CWORD" -eq 1 ]; then
    COMPREPLY=($(compgen -W "/F /S --help --version" -- "$cur"))
  fi
}

complete -F _tonvex_cli -o filenames tonvex-cli
complete -F _tonvex -o filenames tonvex
