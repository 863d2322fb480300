# shellcheck shell=bash
# Debian package installation for the project's scripts; source it from bash.
#
#   ensure_packages [--verbose] PKG...   install whichever of PKG... is not installed
#   missing_packages PKG...              print those of PKG... not installed, one a line
#   as_root CMD...                       run CMD as root: directly, or through sudo
#
# ensure_packages names what it installs in one line on stderr, prefixed with
# $PACKAGES_WHO (default: the script's file name). apt-get shows only its errors,
# unless --verbose sends its progress to stderr; stdout stays untouched either way,
# since some callers print their results there. It returns 1, having said why,
# when something cannot be installed.

# dpkg-query, rather than `dpkg -s`: a package removed but with its configuration
# files left behind counts as missing. dpkg-query prints nothing for a package
# it has never heard of.
missing_packages() {
    local name state
    local -A installed=()
    (($#)) || return 0
    while read -r name state; do
        [[ $state == installed ]] && installed[$name]=1
    done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "$@" 2>/dev/null || true)
    for name in "$@"; do
        [[ -n ${installed[$name]:-} ]] || printf '%s\n' "$name"
    done
}

as_root() {
    if ((EUID == 0)); then
        "$@"
    else
        sudo "$@"
    fi
}

# apt-get's stdout: stderr when verbose ($1 = 1), /dev/null otherwise. Not
# /dev/stderr by name: reopening that truncates a log file stderr points to.
_apt_get() {
    local verbose=$1
    shift
    # sudo drops the caller's environment, hence env for DEBIAN_FRONTEND.
    if ((verbose)); then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -q "$@" >&2
    else
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -qq "$@" >/dev/null
    fi
}

ensure_packages() {
    local who=${PACKAGES_WHO:-${0##*/}} verbose=0 rc=0 missing=()
    if [[ ${1:-} == --verbose ]]; then
        verbose=1
        shift
    fi
    mapfile -t missing < <(missing_packages "$@")
    ((${#missing[@]})) || return 0
    if ((EUID != 0)) && ! command -v sudo >/dev/null; then
        printf '%s: missing packages (%s) and neither root nor sudo\n' "$who" "${missing[*]}" >&2
        return 1
    fi
    printf '%s: installing %s\n' "$who" "${missing[*]}" >&2
    _apt_get "$verbose" update || rc=$?
    if ((rc == 0)); then
        _apt_get "$verbose" install -y --no-install-recommends "${missing[@]}" || rc=$?
    fi
    if ((rc != 0)); then
        printf '%s: apt-get failed (status %d)\n' "$who" "$rc" >&2
        return 1
    fi
    mapfile -t missing < <(missing_packages "${missing[@]}")
    if ((${#missing[@]})); then
        printf '%s: still missing after apt-get: %s\n' "$who" "${missing[*]}" >&2
        return 1
    fi
}
