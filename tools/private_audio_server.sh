# Shared by the end-to-end test, the benchmark and the main-job script: a PulseAudio server of our own,
# with its own runtime, state and configuration folders and socket, and a null sink "Speakers" as the sound
# card. Source this file, set PRIVATE_AUDIO_DIR (and TONVEX_PACER, see below), then call
# private_server_start, and private_session_end (or private_server_stop) when done.
# The user's own server (if any) is never contacted: everything here talks to our socket only.

private_server_env() {
  mkdir -p "$PRIVATE_AUDIO_DIR"/{run,state,config,home}
  chmod 700 "$PRIVATE_AUDIO_DIR"/run
  export HOME="$PRIVATE_AUDIO_DIR/home"
  export XDG_RUNTIME_DIR="$PRIVATE_AUDIO_DIR/run"
  export PULSE_RUNTIME_PATH="$PRIVATE_AUDIO_DIR/run"
  export PULSE_STATE_PATH="$PRIVATE_AUDIO_DIR/state"
  export XDG_CONFIG_HOME="$PRIVATE_AUDIO_DIR/config"
  export PULSE_SERVER="unix:$PRIVATE_AUDIO_DIR/run/native"
  cat > "$PRIVATE_AUDIO_DIR/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$PRIVATE_AUDIO_DIR/run/native
load-module module-null-sink sink_name=speakers rate=48000 sink_properties=device.description=Speakers
set-default-sink speakers
PA
}

# Starts the server and waits until it answers; sets PRIVATE_SERVER_PID.
private_server_start() {
  private_server_env
  rm -f "$PRIVATE_AUDIO_DIR/run/native"
  # -n: no default script (so no hardware, no autospawned helpers); as root PulseAudio only warns.
  # Its own session keeps a Ctrl+C meant for the program from taking the server down first.
  setsid pulseaudio -n -F "$PRIVATE_AUDIO_DIR/server.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --system=false --log-target=file:"$PRIVATE_AUDIO_DIR/pulse.log" --log-level=notice &
  PRIVATE_SERVER_PID=$!
  for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then
      # An idle null sink renders two seconds ahead, which no sound card does; a recorder that asks for
      # 10 ms and stays put whatever becomes the default (TONVEX_PACER, tonvex-latency-probe --pace)
      # keeps "Speakers" at a card's pace.
      if [ -n "${TONVEX_PACER:-}" ]; then
        "$TONVEX_PACER" --pace speakers.monitor &
        PRIVATE_SERVER_PACER=$!
      fi
      return 0
    fi
    kill -0 "$PRIVATE_SERVER_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "the private audio server did not start; its log:" >&2
  cat "$PRIVATE_AUDIO_DIR/pulse.log" >&2 || true
  return 1
}

private_server_stop() {
  [ -n "${PRIVATE_SERVER_PACER:-}" ] && kill "$PRIVATE_SERVER_PACER" 2>/dev/null && wait "$PRIVATE_SERVER_PACER" 2>/dev/null
  PRIVATE_SERVER_PACER=
  [ -n "${PRIVATE_SERVER_PID:-}" ] || return 0
  kill "$PRIVATE_SERVER_PID" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$PRIVATE_SERVER_PID" 2>/dev/null || break; sleep 0.02; done
  kill -9 "$PRIVATE_SERVER_PID" 2>/dev/null || true
  wait "$PRIVATE_SERVER_PID" 2>/dev/null || true
  PRIVATE_SERVER_PID=
}

# Ends a session on the private server: the program whose process id is $1 (if any), then the server, then
# the private folder.
private_session_end() {
  [ -n "${1:-}" ] && kill -TERM "$1" 2>/dev/null && wait "$1" 2>/dev/null
  private_server_stop
  rm -rf "$PRIVATE_AUDIO_DIR"
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
