#!/usr/bin/env bash
# Vellicam as a user gets it. `tree`: installed with `cmake --install` into a scratch prefix. `package`: made into a
# .deb with cpack, its fields read, and unpacked with dpkg -x into a scratch root. Either way the installed layout is
# checked and the programs run from there with nothing of the build on PATH or LD_LIBRARY_PATH: `detect` finds the
# detector and its cascades and recognises a face (with a home and without one), `sheet` writes a sheet, `batch`
# loads the detector once for all its workers, and a missing piece is refused with the folders looked in.
# `desktop`: the menu entry and the metainfo of the source tree validate.
#
# Usage: installed_program_test.sh tree|package|desktop BUILD-DIR SOURCE-DIR
# The install folders and the version come from CMake in the environment (VELLICAM_BINDIR, VELLICAM_LIBRARY_DIR,
# VELLICAM_DATA_DIR, VELLICAM_DATAROOT_DIR, VELLICAM_VERSION). Exits 77, which CTest counts as skipped, in a
# sanitized build: its programs need the sanitizer's own settings and are not what anyone installs.
set -euo pipefail

mode=${1:?usage: installed_program_test.sh tree|package|desktop BUILD-DIR SOURCE-DIR}
build=${2:?build folder}
source=${3:?source folder}
id=io.github.vellicam.Vellicam
photo=$source/tests/data/photos/portrait_dark_background_868.jpg

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
step() { echo "-- $*"; }

if [ "$mode" != desktop ] && [ "${VELLICAM_SANITIZED:-0}" = 1 ]; then
    echo "SKIPPED: a sanitized build is not installed or packaged"
    exit 77
fi

# The scratch folder by its real path: the programs see their own folder with links resolved, and so do messages.
scratch=$(realpath "$(mktemp -d "${TMPDIR:-/tmp}/vellicam-install-test.XXXXXX")")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/home"

# Runs a command with a bare environment: the system's own PATH, no LD_LIBRARY_PATH, no Qt or Vellicam variables.
bare() { env -i PATH=/usr/bin:/bin HOME="$scratch/home" TMPDIR="$scratch" LANG=C.UTF-8 "$@"; }

validate_desktop_files() { # DESKTOP-FILE METAINFO-FILE ICON-FILE
    step "validating $1"
    desktop-file-validate "$1" || fail "desktop-file-validate rejects $1"
    step "validating $2"
    appstreamcli validate --no-net "$2" || fail "appstreamcli rejects $2"
    grep -q "^Icon=$id\$" "$1" || fail "$1 does not name the icon $id"
    # A folder dropped on the program, or opened with it from the file manager, is worked as a batch.
    grep -qE '^MimeType=(.*;)?inode/directory;' "$1" || fail "$1 does not take folders"
    grep -q '<project_license>MIT</project_license>' "$2" || fail "$2 does not name the MIT licence"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$2" || fail "$2 does not launch $id.desktop"
    # The newest release the metainfo lists is the version being built.
    grep -m1 '<release ' "$2" | grep -q "version=\"$VELLICAM_VERSION\"" ||
        fail "the newest release in $2 is not $VELLICAM_VERSION"
    [ -f "$3" ] || fail "no icon at $3"
    xmllint --noout "$3" 2>/dev/null || grep -q "<svg" "$3" || fail "$3 is not an SVG picture"
}

# Expects COMMAND... to exit with STATUS and its error output to contain TEXT.
expect_refusal() { # STATUS TEXT COMMAND...
    local status=$1 text=$2 got=0
    shift 2
    bare "$@" >"$scratch/out" 2>"$scratch/err" || got=$?
    [ "$got" -eq "$status" ] || fail "$* exited $got, not $status: $(cat "$scratch/err")"
    grep -qF -- "$text" "$scratch/err" || fail "$* did not say '$text': $(cat "$scratch/err")"
}

check_installed() { # PREFIX
    local prefix=$1
    local bin=$prefix/$VELLICAM_BINDIR lib=$prefix/$VELLICAM_LIBRARY_DIR data=$prefix/$VELLICAM_DATA_DIR
    local cli=$bin/vellicam-cli

    step "layout under $prefix"
    [ -x "$cli" ] || fail "no $cli"
    [ -f "$lib/libfacedetect.so" ] || fail "no $lib/libfacedetect.so"
    for name in haarcascade_frontalface_default.xml ago.xml お読み下さい.txt person_segmentation_NOTICE.txt \
        face_detection_NOTICE.txt; do
        [ -f "$data/$name" ] || fail "no $data/$name"
    done
    # The person model travels with the program whenever the build has it (the set-up could fetch its package).
    if [ -f "$build/bin/person_segmentation.onnx" ]; then
        cmp -s "$build/bin/person_segmentation.onnx" "$data/person_segmentation.onnx" \
            || fail "$data/person_segmentation.onnx is not the build's model"
    fi
    if [ -f "$build/bin/face_detection_short_range.onnx" ]; then
        cmp -s "$build/bin/face_detection_short_range.onnx" "$data/face_detection_short_range.onnx" \
            || fail "$data/face_detection_short_range.onnx is not the build's model"
    fi
    # The licence, the notices of what the program carries and uses, and the copyright file in Debian's format.
    local doc=$prefix/$VELLICAM_DATAROOT_DIR/doc/vellicam
    cmp -s "$source/LICENSE" "$doc/LICENSE" || fail "no $doc/LICENSE"
    head -1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "$doc/copyright is not in Debian's copyright format"
    for name in haarcascade_frontalface_default.xml ago.xml person_segmentation.onnx face_detection_short_range.onnx \
        shape_predictor_68_face_landmarks \
        "Apache License" "Intel License Agreement" "Modesto Castrillon-Santana"; do
        grep -qF "$name" "$doc/THIRD_PARTY_NOTICES" || fail "$doc/THIRD_PARTY_NOTICES says nothing of $name"
    done
    for name in "$bin"/*; do
        case "${name##*/}" in
        vellicam | vellicam-cli) ;;
        *) fail "$name does not belong in $bin" ;;
        esac
    done
    for file in "$bin"/* "$lib/libfacedetect.so"; do
        if readelf -d "$file" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
            fail "$file still looks for libraries in the build folder"
        fi
    done

    step "vellicam-cli --help"
    bare "$cli" --help >"$scratch/out" || fail "vellicam-cli --help failed"
    grep -q detect "$scratch/out" || fail "vellicam-cli --help does not list detect"

    step "vellicam-cli detect $photo"
    local status=0
    bare "$cli" detect "$photo" >"$scratch/detect.json" 2>"$scratch/err" || status=$?
    cat "$scratch/detect.json"
    [ "$status" -eq 0 ] || fail "detect exited $status: $(cat "$scratch/err")"
    grep -q '^{"result": 0, ' "$scratch/detect.json" || fail "detect recognised no face"
    # The proposed frame (left, top, right, bottom) becomes the sheet's frame (left, top, width, height).
    local l t r b
    local number='\(-\{0,1\}[0-9]*\)'
    read -r l t r b < <(sed -n "s/.*\"frame\": \[$number, $number, $number, $number\].*/\1 \2 \3 \4/p" \
        "$scratch/detect.json")
    if [ -z "${b:-}" ] || [ $((r - l)) -le 0 ] || [ $((b - t)) -le 0 ]; then
        fail "detect proposed no usable frame"
    fi

    step "vellicam-cli sheet $photo --frame $l,$t,$((r - l)),$((b - t))"
    bare "$cli" sheet "$photo" "$scratch/sheet.jpg" --frame "$l,$t,$((r - l)),$((b - t))" >"$scratch/sheet.json" ||
        fail "sheet failed"
    cat "$scratch/sheet.json"
    grep -q '"width": 1051, "height": 1500' "$scratch/sheet.json" || fail "the sheet is not 1051 x 1500"
    [ -s "$scratch/sheet.jpg" ] || fail "no sheet written"

    step "vellicam-cli detect without a home, as cron or a service runs it"
    status=0
    env -i PATH=/usr/bin:/bin TMPDIR="$scratch" "$cli" detect "$photo" >"$scratch/out" 2>"$scratch/err" || status=$?
    [ "$status" -eq 0 ] || fail "detect without HOME exited $status: $(cat "$scratch/err")"
    [ "$(stat -c %a "$scratch/vellicam-$(id -u)")" = 700 ] || fail "no private work folder in TMPDIR"

    # The batch loads the detector once, before its workers start, by the search the settings dialog's detector
    # line uses; its summary names what that found. A load that missed the installed library would leave each
    # worker to load it (and read its models) again.
    step "vellicam-cli batch loads the installed detector once"
    mkdir "$scratch/batch"
    cp "$photo" "$scratch/batch/a.jpg"
    cp "$photo" "$scratch/batch/b.jpg"
    bare LD_DEBUG=files "$cli" batch "$scratch/batch" --out "$scratch/batch-out" --jobs 2 \
        >"$scratch/batch.json" 2>"$scratch/err" || fail "batch failed: $(grep -v 'file=\|init:\|fini:' "$scratch/err")"
    cat "$scratch/batch.json"
    grep -q '"saved": 2,' "$scratch/batch.json" || fail "the batch did not save both sheets"
    grep -qE '"detector": "(verified|cascade-only)"' "$scratch/batch.json" ||
        fail "the batch's one load did not find the installed detector"
    local loads
    loads=$(grep -c "calling init: $lib/libfacedetect\.so\$" "$scratch/err" || true)
    [ "$loads" -eq 1 ] || fail "libfacedetect.so was loaded $loads times, not once before the workers"

    step "missing pieces name the folders looked in"
    mv "$data/haarcascade_frontalface_default.xml" "$scratch/cascade.xml"
    expect_refusal 2 "$data" "$cli" detect "$photo"
    expect_refusal 2 "face cascade missing" "$cli" detect "$photo"
    mv "$scratch/cascade.xml" "$data/haarcascade_frontalface_default.xml"
    mv "$lib/libfacedetect.so" "$scratch/libfacedetect.so"
    expect_refusal 2 "$lib" "$cli" detect "$photo"
    expect_refusal 2 "detector library missing" "$cli" detect "$photo"
    mv "$scratch/libfacedetect.so" "$lib/libfacedetect.so"

    if [ -x "$bin/vellicam" ]; then
        # The window program answers --help once it has one; until then it would open its window, so it is not run.
        if grep -rqsE 'addHelpOption|"--help"' "$source/src/app"; then
            step "vellicam --help"
            bare QT_QPA_PLATFORM=offscreen timeout 60 "$bin/vellicam" --help >"$scratch/out" 2>&1 ||
                fail "vellicam --help failed: $(cat "$scratch/out")"
            [ -s "$scratch/out" ] || fail "vellicam --help printed nothing"
        else
            echo "note: vellicam has no --help yet, not run"
        fi
        local share=$prefix/$VELLICAM_DATAROOT_DIR
        validate_desktop_files "$share/applications/$id.desktop" "$share/metainfo/$id.metainfo.xml" \
            "$share/icons/hicolor/scalable/apps/$id.svg"
    fi
}

case "$mode" in
desktop)
    validate_desktop_files "$source/data/desktop/$id.desktop" "$source/data/desktop/$id.metainfo.xml" \
        "$source/data/desktop/$id.svg"
    ;;
tree)
    step "cmake --install $build --prefix $scratch/prefix"
    cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" ||
        fail "cmake --install failed: $(cat "$scratch/install.log")"
    check_installed "$scratch/prefix"
    ;;
package)
    for tool in cpack dpkg-deb dpkg-shlibdeps; do
        command -v "$tool" >/dev/null || fail "$tool is missing (Debian packages cmake, dpkg-dev)"
    done
    step "cpack -G DEB"
    (cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack") \
        >"$scratch/cpack.log" 2>&1 || fail "cpack failed: $(cat "$scratch/cpack.log")"
    debs=("$scratch"/cpack/*.deb)
    if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
        fail "cpack made no single .deb: $(cat "$scratch/cpack.log")"
    fi
    deb=${debs[0]}
    echo "${deb##*/}: $(du -k "$deb" | cut -f1) kB"

    maintainer=$(dpkg-deb -f "$deb" Maintainer)
    echo "Maintainer: $maintainer"
    case "$maintainer" in
    *.invalid* | "") fail "the package names no real contact: '$maintainer'" ;;
    esac

    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    needed=(libjpeg62-turbo libpng16-16 libopencv-core libopencv-imgproc libopencv-objdetect libdlib-data
        fonts-ipafont-gothic)
    [ -x "$build/bin/vellicam" ] && needed+=(libqt6widgets6 libqt6gui6 libqt6core6)
    readelf -d "$build/bin/libfacedetect.so" | grep -q 'libdlib' && needed+=(libdlib19)
    for package in "${needed[@]}"; do
        grep -qE "(^|, )$package" <<<"$depends" || fail "the package does not depend on $package"
    done

    step "dpkg -x ${deb##*/}"
    dpkg -x "$deb" "$scratch/root"
    [ "$(ls "$scratch/root")" = usr ] || fail "the package installs outside /usr"
    check_installed "$scratch/root/usr"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "PASSED: $mode"
