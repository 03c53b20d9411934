#!/usr/bin/env bash
# Installs the Debian packages that YRData needs and the machine lacks; installs nothing when
# all are present. Options: --fuzz adds clang and its libFuzzer runtime, --bench adds zip/unzip
# and what the cloud's benchmark compares with (nginx, curl), --studio adds what yrstudio and its
# tests need: the browser engine, the web channel, Qt's translation tools, a virtual X server,
# node (the page's tests) and a font with Chinese.
set -euo pipefail

packages=(cmake make g++ qtbase5-dev zlib1g-dev libquazip1-qt5-dev)
# yrcloud and its tests: the HTTP server, both SQL drivers, PostgreSQL for the tests' cluster,
# and boto3, the S3 client it is checked against.
packages+=(pkg-config libcpp-httplib-dev libqt5sql5-sqlite libqt5sql5-psql postgresql-15
           python3-boto3)
for option in "$@"; do
    case "$option" in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    --bench) packages+=(zip unzip nginx curl) ;;
    --studio)
        packages+=(qtwebengine5-dev libqt5webchannel5-dev qttools5-dev qttools5-dev-tools xvfb xauth
                   nodejs fonts-wqy-microhei)
        ;;
    *) echo "install-deps.sh: unknown option $option" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps.sh: installing ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
