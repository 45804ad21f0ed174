#!/usr/bin/env bash
# A plug-in shares the host's process with whatever the host loaded, often
# other versions of the same libraries: ours may need the C and C++ run-time
# libraries and libX11/libXext only (never cairo, FreeType, fontconfig, GTK or
# Qt), and it exports the entry point alone.
# A sanitized build also needs the sanitizers' run-time libraries; the
# caller says so with AMBREL_SANITIZED=1.
# Usage: check-plugin-linkage.sh PLUGIN.so...
set -u
status=0
sanitized=${AMBREL_SANITIZED:-0}
for plugin in "$@"; do
    name=$(basename "$plugin")
    needed=$(readelf -d "$plugin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    for lib in $needed; do
        case $lib in
        libX11.so.* | libXext.so.* | libstdc++.so.* | libm.so.* | libgcc_s.so.* | libc.so.* | ld-linux*) ;;
        libasan.so.* | libubsan.so.* | libtsan.so.*)
            if [ "$sanitized" != 1 ]; then
                echo "$name: needs $lib (a sanitizer run-time in a release build)"
                status=1
            fi
            ;;
        *)
            echo "$name: needs $lib"
            status=1
            ;;
        esac
    done
    # Everything loaded with it, libX11's own needs included.
    if ldd "$plugin" | grep -Ei 'cairo|freetype|fontconfig|gtk|gdk|glib|gobject|pango|harfbuzz|qt[0-9]'; then
        echo "$name: loads a library a host may hold in another version"
        status=1
    fi
    exported=$(nm -D --defined-only "$plugin" | awk '{print $3}' | sort | tr '\n' ' ')
    if [ "$exported" != "VSTPluginMain main " ]; then
        echo "$name: exports $exported"
        status=1
    fi
    echo "$name: needs ${needed//$'\n'/ }; exports $exported"
done
exit $status
