#!/bin/bash
# Prepares this machine to build lumaspire.scr and run it under Wine, from a bare Debian.
#
# Everything runs inside a Debian 13 root in $LUMASPIRE_ROOT: its Wine (10) starts 32-bit
# programs (wine32) and, in the 64-bit test prefix, 64-bit ones (wine64: its loader and
# libwine:amd64; 32-bit programs there still run through wine32, as on WoW64), and where the kernel cannot execute 32-bit x86 code (ia32 emulation switched
# off) qemu's user-mode emulator is registered for 32-bit ELF files so Wine still runs.
# Idempotent: a second call only checks the mounts. "run" as the only argument sets up
# what the run command needs (fewer packages); without it, everything.
set -euo pipefail

ROOT=${LUMASPIRE_ROOT:-/opt/lumaspire-root}
REPO=$(cd "$(dirname "$0")/.." && pwd)
# The Debian archive this machine is set to fetch from (its own apt configuration):
# the first source of the main archive, in deb822 files or one-line lists.
debian_mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
    /^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /-security/) { print $i; exit } }')
  if [ -z "$uri" ]; then
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk '
      $1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { if ($i !~ /-security/) { print $i; exit } break } }')
  fi
  echo "${uri%/}"
}
MIRROR=$(debian_mirror)

# What the run command needs (tools/run-saver.sh: build the saver and its sample clip, play
# it under Wine), and what the tests, benchmarks and fuzz targets add. "run" as the first
# argument installs the first set alone; anything else both.
RUN_PACKAGES="wine wine32:i386 qemu-user cmake make g++-mingw-w64-i686-posix mingw-w64-i686-dev
  g++-mingw-w64-i686-win32 xvfb xauth fonts-wqy-microhei locales ffmpeg x11-utils openssl
  gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386 gstreamer1.0-libav:i386
  libxi6:i386 libxcursor1:i386 libxrandr2:i386 libxinerama1:i386 libxcomposite1:i386 libxfixes3:i386
  libxrender1:i386 libxxf86vm1:i386 libgl1:i386 libegl1:i386 libosmesa6:i386 libgl1-mesa-dri:i386
  libgnutls30t64:i386 fonts-wine fonts-liberation gcc-i686-linux-gnu libc6-dev-i386-cross"
TEST_PACKAGES="googletest python3 procps nsis clang libclang-rt-19-dev mpv x11-xserver-utils
  pulseaudio pulseaudio-utils osslsigncode wine64 python3-jsonschema python3-yaml"
profile=${1:-all}
PACKAGES=$RUN_PACKAGES
[ "$profile" = run ] || PACKAGES="$RUN_PACKAGES $TEST_PACKAGES"
# The stamp names the package list it stands for: a changed list installs again by itself.
STAMP="$ROOT/.lumaspire-packages-$(echo $PACKAGES | md5sum | cut -c1-12)"
# Either list's stamp stands for the run list too.
RUN_STAMP="$ROOT/.lumaspire-packages-$(echo $RUN_PACKAGES | md5sum | cut -c1-12)"

log() { echo "machine-setup: $*" >&2; }
# Each step that does anything says how long it took, so the next person sees where a
# first run's minutes go.
step_started=0
set_up=
step() { step_started=$SECONDS; set_up=1; log "$*"; }
step_done() { log "  ... $((SECONDS - step_started)) s"; }

mount_once() {  # type-or-bind source target
  mountpoint -q "$3" && return 0
  mkdir -p "$3"
  if [ "$1" = bind ]; then mount --bind "$2" "$3"; else mount -t "$1" "$2" "$3"; fi
}

if [ "$(id -u)" != 0 ]; then
  echo "machine-setup: run as root (it installs packages and mounts file systems)" >&2
  exit 1
fi

if [ ! -x "$ROOT/bin/bash" ]; then
  if ! command -v debootstrap >/dev/null; then
    step "installing debootstrap"
    { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap; } \
      >/tmp/lumaspire-debootstrap-install.log 2>&1 || { cat /tmp/lumaspire-debootstrap-install.log >&2; exit 1; }
    step_done
  fi
  if [ -z "$MIRROR" ]; then
    log "no Debian archive found in this machine's apt configuration"
    exit 1
  fi
  step "creating the Debian 13 root in $ROOT from $MIRROR"
  debootstrap --variant=minbase --arch=amd64 trixie "$ROOT" "$MIRROR" >/dev/null
  step_done
fi

mount_once proc proc "$ROOT/proc"
mount_once bind /dev "$ROOT/dev"
mount_once devpts devpts "$ROOT/dev/pts" 2>/dev/null || true
mount_once tmpfs tmpfs "$ROOT/dev/shm"
mount_once bind /sys "$ROOT/sys"
# A checkout deleted and cloned again at the same path leaves the old bind mount
# showing the deleted directory: mount the current one in its place.
if mountpoint -q "$ROOT$REPO" && [ ! "$ROOT$REPO" -ef "$REPO" ]; then
  umount -l "$ROOT$REPO"
fi
mount_once bind "$REPO" "$ROOT$REPO"
# The repository's history is read-only in there: nothing a build or a test runs inside may
# change it, whatever it deletes (Wine's drive Z: is the root's whole file system).
if [ -d "$REPO/.git" ] && ! mountpoint -q "$ROOT$REPO/.git"; then
  mount --bind "$REPO/.git" "$ROOT$REPO/.git"
  mount -o remount,ro,bind "$ROOT$REPO/.git"
fi
# The host's X server, for running the saver on the current display.
[ -d /tmp/.X11-unix ] && mount_once bind /tmp/.X11-unix "$ROOT/tmp/.X11-unix"
cp -f /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true

if [ ! -f "$STAMP" ]; then
  if [ "$profile" = run ]; then
    step "installing what the saver's build and run need in the root (a few minutes)"
  else
    step "installing the packages of the build, the tests and the benchmarks in the root (a few minutes)"
  fi
  chroot "$ROOT" /bin/bash -c "
    set -e
    dpkg --add-architecture i386
    apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $(echo $PACKAGES) >/dev/null
    sed -i 's/^# *zh_CN.UTF-8/zh_CN.UTF-8/' /etc/locale.gen
    locale-gen >/dev/null"
  touch "$STAMP" "$RUN_STAMP"
  step_done
fi

# The update check's cryptography (Ed25519, SHA-256): libsodium from Debian's source
# package (with Debian's patches), cross-built once for mingw-w64 i686, static. Only the
# files the program and the tests' signer link are compiled (the signature check and
# SHA-256, and what sodium_init picks implementations from), each function in a section
# of its own so the program's link keeps only what it calls: seconds, where the library's
# own configure and build of everything took minutes. A file missing from the list shows
# as an undefined symbol when the program links. The source comes from the archive this
# machine fetches from, through a private list folder: the root's own apt set-up stays as
# it is.
SODIUM_PREFIX=/opt/mingw32-libsodium
SODIUM_BUILD_PACKAGES="dpkg-dev"
SODIUM_SOURCES="sodium/core.c sodium/runtime.c sodium/utils.c sodium/codecs.c
  crypto_verify/sodium/verify.c crypto_hash/sha256/cp/hash_sha256_cp.c crypto_hash/sha512/cp/hash_sha512_cp.c
  crypto_core/ed25519/ref10/ed25519_ref10.c crypto_sign/ed25519/ref10/open.c crypto_sign/ed25519/ref10/sign.c
  crypto_sign/ed25519/ref10/keypair.c randombytes/randombytes.c randombytes/sysrandom/randombytes_sysrandom.c
  crypto_pwhash/argon2/argon2-core.c crypto_pwhash/argon2/argon2-fill-block-ref.c crypto_pwhash/argon2/blake2b-long.c
  crypto_generichash/blake2b/ref/blake2b-compress-ref.c crypto_generichash/blake2b/ref/blake2b-ref.c
  crypto_generichash/blake2b/ref/generichash_blake2b.c crypto_onetimeauth/poly1305/onetimeauth_poly1305.c
  crypto_onetimeauth/poly1305/donna/poly1305_donna.c crypto_scalarmult/curve25519/scalarmult_curve25519.c
  crypto_scalarmult/curve25519/ref10/x25519_ref10.c crypto_stream/chacha20/stream_chacha20.c
  crypto_stream/chacha20/ref/chacha20_ref.c crypto_stream/salsa20/stream_salsa20.c
  crypto_stream/salsa20/ref/salsa20_ref.c crypto_core/salsa/ref/core_salsa_ref.c"
SODIUM_STAMP="$ROOT$SODIUM_PREFIX/.built-$(echo $SODIUM_BUILD_PACKAGES $SODIUM_SOURCES $MIRROR | md5sum | cut -c1-12)"
if [ ! -f "$SODIUM_STAMP" ]; then
  step "building libsodium for mingw-w64 from its Debian source"
  uri=$MIRROR
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" { print $2; exit }' "$ROOT/etc/apt/sources.list")
  chroot "$ROOT" /bin/bash -s "$uri" "$SODIUM_PREFIX" "$SODIUM_BUILD_PACKAGES" "$SODIUM_SOURCES" <<'SODIUM'
    set -e
    uri=$1 prefix=$2 packages=$3 sources=$4
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $packages >/dev/null
    work=/var/tmp/lumaspire-sodium
    rm -rf "$work" && mkdir -p "$work/lists/partial" "$work/parts" && cd "$work"
    echo "deb-src $uri trixie main" > sources.list
    apt=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
         -o "Dir::State::Lists=$work/lists")
    apt-get -q "${apt[@]}" update >/dev/null
    apt-get -q "${apt[@]}" source libsodium >/dev/null 2>&1
    cd libsodium-*/
    version=$(dpkg-parsechangelog -S Version | sed 's/-.*//')
    # What configure would write for a minimal build; the rest of its settings only
    # choose faster code where the compiler has it.
    sed -e "s/@VERSION@/$version/" \
        -e "s/@SODIUM_LIBRARY_VERSION_MAJOR@/$(sed -n 's/^SODIUM_LIBRARY_VERSION_MAJOR=//p' configure.ac)/" \
        -e "s/@SODIUM_LIBRARY_VERSION_MINOR@/$(sed -n 's/^SODIUM_LIBRARY_VERSION_MINOR=//p' configure.ac)/" \
        -e "s/@SODIUM_LIBRARY_MINIMAL_DEF@/#define SODIUM_LIBRARY_MINIMAL 1/" \
        src/libsodium/include/sodium/version.h.in > src/libsodium/include/sodium/version.h
    cd src/libsodium
    mkdir -p obj
    echo $sources | tr ' ' '\n' | xargs -P "$(nproc)" -I{} sh -c 'i686-w64-mingw32-gcc-win32 -c -Os \
      -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -fno-unwind-tables \
      -DCONFIGURED=1 -DMINIMAL=1 -DSODIUM_STATIC=1 -DNATIVE_LITTLE_ENDIAN=1 -Iinclude -Iinclude/sodium \
      "$1" -o "obj/$(echo "$1" | tr / _).o"' sh {}
    mkdir -p "$prefix/lib" "$prefix/include"
    i686-w64-mingw32-ar rcs obj/libsodium.a obj/*.o
    mv -f obj/libsodium.a "$prefix/lib/libsodium.a"
    cp -r include/sodium.h include/sodium "$prefix/include/"
    cd / && rm -rf "$work"
SODIUM
  touch "$SODIUM_STAMP"
  step_done
fi

# winget's published manifest schema, for the test of the release command's manifest: a
# file of winget's, kept where this machine keeps such files (the folder shared/ beside the
# repository's), not in the repository.
for schema in "$REPO/../shared/winget/"*.json; do
  [ -f "$schema" ] || continue
  mkdir -p "$ROOT/usr/local/share/lumaspire/winget"
  cp -u "$schema" "$ROOT/usr/local/share/lumaspire/winget/"
done

# Can this kernel run 32-bit x86 code? If not, let qemu run the 32-bit Wine.
if ! chroot "$ROOT" /usr/lib/wine/wine --version >/dev/null 2>&1; then
  mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/lumaspire-i386 ]; then
    step "registering qemu-i386 for 32-bit programs"
    # F: the (static) emulator is opened now, so it serves inside and outside the root.
    chroot "$ROOT" /bin/bash -c 'mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
      printf "%s" ":lumaspire-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:FP" > /proc/sys/fs/binfmt_misc/register'
  fi
  chroot "$ROOT" /usr/lib/wine/wine --version >/dev/null
fi
if [ -e /proc/sys/fs/binfmt_misc/lumaspire-i386 ]; then
  # Debian's 32-bit loader is position-independent, and qemu maps it at 0x400000, where
  # Windows programs that cannot move must be: a loader of ours at a fixed high address
  # takes its place (tools/emulator/wine_loader.c).
  loader_src="$REPO/tools/emulator/wine_loader.c"
  if [ ! -f "$ROOT/usr/lib/wine/wine.debian" ] || [ "$loader_src" -nt "$ROOT/usr/lib/wine/wine" ]; then
    step "putting a fixed-address 32-bit Wine loader in place of Debian's"
    chroot "$ROOT" dpkg-divert --quiet --local --rename --divert /usr/lib/wine/wine.debian --add /usr/lib/wine/wine
    chroot "$ROOT" i686-linux-gnu-gcc -O2 -no-pie -Wl,-Ttext-segment=0x7d000000 -rdynamic \
      -o /usr/lib/wine/wine "$loader_src" -ldl -lpthread
    step_done
  fi
fi
[ -z "$set_up" ] || log "ready in $SECONDS s: $ROOT"
