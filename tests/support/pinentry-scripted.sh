#!/usr/bin/env bash
# A pinentry for tests: speaks the Assuan pinentry protocol on stdin/stdout without a screen.
#   pinentry-scripted.sh HOME
# GETPIN answers with the first line of HOME/pinentry-queue, which it then takes off that file,
# while the file has lines; otherwise with the content of HOME/pinentry-passphrase (its first
# line), or cancels when that file is missing; while HOME/pinentry-hold exists it waits first, as a user who has not
# answered yet. CONFIRM and MESSAGE answer OK. Every command is appended to
# HOME/pinentry-log, so that a test can see what was asked.
set -u

home="${1:?usage: pinentry-scripted.sh HOME}"
log="$home/pinentry-log"
repeat=0

# Assuan data lines escape %, CR and LF.
escape() {
  local s="$1"
  s="${s//%/%25}"
  s="${s//$'\r'/%0D}"
  s="${s//$'\n'/%0A}"
  printf '%s' "$s"
}

echo "OK Pleased to meet you"
while IFS= read -r line; do
  line="${line%$'\r'}"
  printf '%s\n' "$line" >>"$log"
  command="${line%% *}"
  case "${command^^}" in
    GETPIN)
      while [ -f "$home/pinentry-hold" ]; do sleep 0.05; done
      if [ -s "$home/pinentry-queue" ]; then
        IFS= read -r pass <"$home/pinentry-queue" || true
        rest="$(tail -n +2 "$home/pinentry-queue")"
        if [ -n "$rest" ]; then printf '%s\n' "$rest" >"$home/pinentry-queue"; else : >"$home/pinentry-queue"; fi
        [ "$repeat" = 1 ] && echo "S PIN_REPEATED"
        echo "D $(escape "$pass")"
        echo "OK"
      elif [ -f "$home/pinentry-passphrase" ]; then
        IFS= read -r pass <"$home/pinentry-passphrase" || true
        [ "$repeat" = 1 ] && echo "S PIN_REPEATED"
        echo "D $(escape "$pass")"
        echo "OK"
      else
        echo "ERR 83886179 Operation cancelled"
      fi
      ;;
    RESET)
      repeat=0
      echo "OK"
      ;;
    SETREPEAT)
      repeat=1
      echo "OK"
      ;;
    GETINFO)
      case "${line#* }" in
        pid) echo "D $$"; echo "OK" ;;
        flavor) echo "D scripted"; echo "OK" ;;
        version) echo "D 1.0.0"; echo "OK" ;;
        *) echo "OK" ;;
      esac
      ;;
    BYE)
      echo "OK closing connection"
      exit 0
      ;;
    *)
      # OPTION, SETDESC, SETPROMPT, SETTITLE, SETKEYINFO, SETERROR, CONFIRM, MESSAGE, RESET...
      echo "OK"
      ;;
  esac
done
exit 0
