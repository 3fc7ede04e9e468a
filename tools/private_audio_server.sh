# Shared by the end-to-end test, the benchmark and the main-job script: an audio server of our own, with its
# own runtime, state and configuration folders and socket, and a null sink "Speakers" as the sound card.
# PRIVATE_AUDIO_SERVER chooses it: "pulseaudio" (the default) or "pipewire" (pipewire, wireplumber and
# pipewire-pulse on a D-Bus session bus of their own). Source this file, set PRIVATE_AUDIO_DIR (and
# TONVEX_PACER, see below), then call private_server_start, and private_session_end (or private_server_stop)
# when done. The user's own server and bus (if any) are never contacted: everything here talks to ours only.

private_server_env() {
  mkdir -p "$PRIVATE_AUDIO_DIR"/{run,state,config,home}
  chmod 700 "$PRIVATE_AUDIO_DIR"/run
  export HOME="$PRIVATE_AUDIO_DIR/home"
  export XDG_RUNTIME_DIR="$PRIVATE_AUDIO_DIR/run"
  export PULSE_RUNTIME_PATH="$PRIVATE_AUDIO_DIR/run"
  export PULSE_STATE_PATH="$PRIVATE_AUDIO_DIR/state"
  export XDG_CONFIG_HOME="$PRIVATE_AUDIO_DIR/config"
  export XDG_STATE_HOME="$PRIVATE_AUDIO_DIR/state"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$PRIVATE_AUDIO_DIR/run/bus"
  unset DISPLAY WAYLAND_DISPLAY PIPEWIRE_REMOTE
  # pipewire-pulse, too, makes its socket in PULSE_RUNTIME_PATH.
  export PULSE_SERVER="unix:$PRIVATE_AUDIO_DIR/run/native"
  cat > "$PRIVATE_AUDIO_DIR/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$PRIVATE_AUDIO_DIR/run/native
load-module module-null-sink sink_name=speakers rate=48000 sink_properties=device.description=Speakers
set-default-sink speakers
PA
}

# Starts the server and waits until it answers with "Speakers" as its default sink; sets PRIVATE_SERVER_PIDS.
private_server_start() {
  private_server_env
  PRIVATE_SERVER_PIDS=
  if [ "${PRIVATE_AUDIO_SERVER:-pulseaudio}" = pipewire ]; then
    private_pipewire_start || { private_server_failed; return 1; }
  else
    rm -f "$PRIVATE_AUDIO_DIR/run/native"
    # -n: no default script (so no hardware, no autospawned helpers); as root PulseAudio only warns.
    # Its own session keeps a Ctrl+C meant for the program from taking the server down first.
    setsid pulseaudio -n -F "$PRIVATE_AUDIO_DIR/server.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      --system=false --log-target=file:"$PRIVATE_AUDIO_DIR/pulse.log" --log-level=notice >/dev/null 2>&1 &
    PRIVATE_SERVER_PIDS=$!
    private_wait_for 'pactl info' || { private_server_failed; return 1; }
  fi
  # An idle null sink renders two seconds ahead, which no sound card does; a recorder that asks for
  # 10 ms and stays put whatever becomes the default (TONVEX_PACER, tonvex-latency-probe --pace)
  # keeps "Speakers" at a card's pace.
  if [ -n "${TONVEX_PACER:-}" ]; then
    "$TONVEX_PACER" --pace speakers.monitor >>"$PRIVATE_AUDIO_DIR/pacer.log" 2>&1 &
    PRIVATE_SERVER_PACER=$!
  fi
}

# PipeWire: a session bus of our own, the daemon, the session manager and the PulseAudio-protocol server, each
# in its own session (a Ctrl+C meant for the program does not reach them). "Speakers" is made through the
# PulseAudio protocol, as every sink here is. PipeWire 0.3.65 with WirePlumber 0.4 sometimes leaves a sink made
# while WirePlumber is still starting half made, and then answers no list of sinks again: so the PulseAudio
# side opens only once WirePlumber has published its "default" metadata, and a stack that still does not come
# up is started again (up to three times), which the caller sees on its error output.
private_pipewire_start() {
  local attempt
  for attempt in 1 2 3; do
    private_pipewire_stack && return 0
    echo "the private PipeWire did not come up (attempt $attempt of 3)" >&2
    private_server_stop
  done
  return 1
}

private_pipewire_stack() {
  rm -rf "$PRIVATE_AUDIO_DIR/run"/{bus,native,pid,pipewire-0,pipewire-0.lock}
  setsid dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" \
    >>"$PRIVATE_AUDIO_DIR/pipewire.log" 2>&1 &
  PRIVATE_SERVER_PIDS=$!
  private_wait_for "test -S $PRIVATE_AUDIO_DIR/run/bus" || return 1
  setsid pipewire >>"$PRIVATE_AUDIO_DIR/pipewire.log" 2>&1 &
  PRIVATE_SERVER_PIDS="$! $PRIVATE_SERVER_PIDS"
  private_wait_for "test -S $PRIVATE_AUDIO_DIR/run/pipewire-0" || return 1
  setsid wireplumber >>"$PRIVATE_AUDIO_DIR/pipewire.log" 2>&1 &
  PRIVATE_SERVER_PIDS="$! $PRIVATE_SERVER_PIDS"
  private_wait_for "timeout 2 pw-cli ls Metadata | grep -q 'metadata.name = \"default\"'" || return 1
  setsid pipewire-pulse >>"$PRIVATE_AUDIO_DIR/pipewire.log" 2>&1 &
  PRIVATE_SERVER_PIDS="$! $PRIVATE_SERVER_PIDS"
  private_wait_for 'pactl info' || return 1
  # Speakers is named the default before it exists, so the session manager makes it the default as it appears.
  # Setting it afterwards would race a program that runs across a restart: such a program makes its own sink
  # the default as soon as it is back, and a later switch to Speakers would read as the user's choice.
  pw-metadata -n default 0 default.configured.audio.sink '{ "name": "speakers" }' Spa:String:JSON >/dev/null ||
    return 1
  pactl load-module module-null-sink sink_name=speakers rate=48000 sink_properties=device.description=Speakers \
    >/dev/null || return 1
  for attempt in $(seq 50); do
    case "$(pactl get-default-sink 2>/dev/null)" in speakers | tonvex_brevalto) return 0 ;; esac
    [ "$attempt" -gt 20 ] && pactl set-default-sink speakers 2>/dev/null
    sleep 0.1
  done
  return 1
}

# A server that stops answering must fail its caller, not hold it up: every pactl call gets 10 s.
pactl() { timeout 10 pactl "$@"; }

# private_wait_for COMMAND: up to 5 s for COMMAND to succeed while the server lives.
private_wait_for() {
  local deadline=$((SECONDS + 5))
  while [ "$SECONDS" -le "$deadline" ]; do
    eval "$1" >/dev/null 2>&1 && return 0
    for pid in $PRIVATE_SERVER_PIDS; do kill -0 "$pid" 2>/dev/null || return 1; done
    sleep 0.05
  done
  return 1
}

private_server_failed() {
  echo "the private audio server (${PRIVATE_AUDIO_SERVER:-pulseaudio}) did not start; its log:" >&2
  cat "$PRIVATE_AUDIO_DIR"/pulse.log "$PRIVATE_AUDIO_DIR"/pipewire.log >&2 2>/dev/null || true
  private_server_stop
}

private_server_stop() {
  # In start order reversed: the pacer, the pulse server and session manager before the daemon, the bus last.
  # Each gets 2 s to end before it is killed, so a stuck process cannot hold up the caller.
  for pid in ${PRIVATE_SERVER_PACER:-} ${PRIVATE_SERVER_PIDS:-}; do
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.02; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  PRIVATE_SERVER_PACER= PRIVATE_SERVER_PIDS=
}

# Ends a session on the private server: the program whose process id is $1 (if any), then the server, then
# the private folder.
private_session_end() {
  # Its exit status is not ours: under set -e a failing wait here would leave the server and folder behind.
  if [ -n "${1:-}" ] && kill -TERM "$1" 2>/dev/null; then wait "$1" 2>/dev/null || true; fi
  private_server_stop
  rm -rf "$PRIVATE_AUDIO_DIR"
}

# stop_loop PID: ends a background loop, such as a player started again and again, and the command it runs.
# The loop is held first: killed while it runs, the command could end first and the loop start it again.
stop_loop() {
  kill -STOP "$1" 2>/dev/null || return 0
  pkill -P "$1" 2>/dev/null || true
  kill "$1" 2>/dev/null || true
  kill -CONT "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# private_display_start FOLDER [XVFB_OPTIONS...]: a virtual 1024 x 768 screen for the program's windows, its number
# written to FOLDER/display; sets PRIVATE_DISPLAY_PID and PRIVATE_DISPLAY (":N"). Its output goes nowhere, so it
# cannot keep a caller's pipe open.
private_display_start() {
  local folder=$1
  shift
  Xvfb -displayfd 6 -screen 0 1024x768x24 -nolisten tcp "$@" 6>"$folder/display" >/dev/null 2>&1 &
  PRIVATE_DISPLAY_PID=$!
  for _ in $(seq 400); do [ -s "$folder/display" ] && break; sleep 0.05; done
  [ -s "$folder/display" ] || { echo "Xvfb did not start" >&2; return 1; }
  PRIVATE_DISPLAY=:$(cat "$folder/display")
}

# write_configuration FILE CENTER THRESHOLD RATE LEFT_CURVE RIGHT_CURVE: a configuration file for
# tonvex-cli --config with the same compressor on both sides (attack 0.01 s, release 0.2 s) and the two
# equalizer curves as the file stores them.
write_configuration() {
  {
    for side in left right; do
      printf 'compress_%s_center = %s\ncompress_%s_threshold = %s\ncompress_%s_rate = %s\n' \
        $side "$2" $side "$3" $side "$4"
      printf 'compress_%s_attack = 0.010000\ncompress_%s_release = 0.200000\n' $side $side
    done
    printf 'equalizer_left = %s\nequalizer_right = %s\n' "$5" "$6"
  } >"$1"
}
