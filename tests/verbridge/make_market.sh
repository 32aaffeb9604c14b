#!/bin/sh
# Makes one market file from a readable UTF-8 XML source with openssl, as the
# product's own tools would: DES-ECB, PKCS #7 padding, the market key.
# usage: make_market.sh OPENSSL SOURCE OUTPUT [--encoding ENC] [--key HEX]
#                       [--padding zero|nine|mixed|none] [--cut N]
#   --encoding  convert the source to ENC (iconv) before encrypting
#   --key       another key than the market key (a wrong-key file)
#   --padding   hand-made, invalid padding instead of openssl's own; none
#               encrypts a source of whole blocks without any padding
#   --cut       drop N bytes from the end of the encrypted file
set -eu
openssl=$1 source=$2 output=$3
shift 3
encoding="" key=4B454C504D495824 padding="" cut=0
while [ $# -gt 0 ]; do
    case "$1" in
    --encoding) encoding=$2 ;;
    --key) key=$2 ;;
    --padding) padding=$2 ;;
    --cut) cut=$2 ;;
    *) echo "make_market.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done

plain="$output.plain"
trap 'rm -f "$plain" "$output.tmp"' EXIT
if [ -n "$encoding" ]; then
    iconv -f UTF-8 -t "$encoding" "$source" >"$plain"
else
    cat "$source" >"$plain"
fi

enc() { "$openssl" enc -des-ecb -K "$key" -provider legacy -provider default "$@"; }

if [ -z "$padding" ]; then
    enc -in "$plain" -out "$output.tmp"
elif [ "$padding" = none ]; then
    enc -nopad -in "$plain" -out "$output.tmp"
else
    # n bytes complete the last block; with a single byte the mixed pattern needs
    # a whole extra block.
    length=$(wc -c <"$plain")
    n=$((8 - length % 8))
    if [ "$padding" = mixed ] && [ $n -lt 2 ]; then n=$((n + 8)); fi
    i=1
    while [ $i -le $n ]; do
        case "$padding" in
        zero) printf '\000' ;;
        nine) printf '\011' ;;
        # The last byte claims up to 8 padding bytes; the others are 0x01.
        mixed) if [ $i -eq $n ]; then printf "\\$(printf '%03o' $((n > 8 ? 8 : n)))"; else printf '\001'; fi ;;
        *) echo "make_market.sh: unknown padding $padding" >&2; exit 2 ;;
        esac
        i=$((i + 1))
    done >>"$plain"
    enc -nopad -in "$plain" -out "$output.tmp"
fi

if [ "$cut" -gt 0 ]; then
    size=$(wc -c <"$output.tmp")
    head -c $((size - cut)) "$output.tmp" >"$output"
else
    mv "$output.tmp" "$output"
fi
