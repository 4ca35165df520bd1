# The body the Advance-search recipes share (sourced by them after recipe_steps.sh; not a recipe of
# its own). After an edit here, touch the advance_*.sh recipes so that make_disk.sh builds their
# images again.
#
# fill_tree START TAG puts a small tree into the FAT volume at START, the way a user fills a
# stick: nested folders, 8.3 and long names, a folder of 40 files whose directory needs several
# 512-byte clusters, then a file and a folder tree deleted with mdel and mdeltree. Names are
# upper-case 8.3 or long names, so that no letter case lives only in an entry's case flags.
# TAG makes the file contents differ from volume to volume.
#
# save_reference START NAME leaves the reference of the undamaged volume at START:
# $OUTBASE.NAME.fls (fls -r -p -l), $OUTBASE.NAME.fsstat, and $OUTBASE.NAME.dirs, one line
# "PATH<TAB>FIRST SECTOR<TAB>SECTORS" per directory as istat reads it from the intact FAT
# (sectors relative to START; the root's path is "/"), and $OUTBASE.NAME.sha256, the manifest of
# the files fill_tree put there when given NAME as its TAG, deleted ones under the names the
# volume shows for them.

. "$(dirname "${BASH_SOURCE[0]}")/media_files.sh"
export MTOOLS_SKIP_CHECK=1 TZ=UTC

# Deterministic contents: a file's bytes depend only on its path and size.
make_file() {  # path size
  mkdir -p "$(dirname "$1")"
  awk -v s="$1" -v n="$2" 'BEGIN { l = s "\n"; while (n > 0) { k = n < length(l) ? n : length(l);
    printf "%s", substr(l, 1, k); n -= k } }' >"$1"
}

fill_tree() {  # START TAG
  local m="$IMG@@$(($1 * 512))" t="tree.$2" i
  make_file "$t/README.TXT" 300
  make_file "$t/NOTES.TXT" 77
  make_file "$t/DCIM/100CANON/IMG_0001.JPG" 12345
  make_file "$t/DCIM/100CANON/IMG_0002.JPG" 1500
  make_file "$t/MUSIC/ALBUM/01 - first track.mp3" 9000
  make_file "$t/MUSIC/ALBUM/TRACK02.MP3" 4321
  make_file "$t/DOCS/Reports 2023/SUMMARY.TXT" 640
  make_file "$t/DOCS/Reports 2023/Q2 figures.xls" 7000
  for i in $(seq -w 1 40); do make_file "$t/DOCS/BIG/FILE$i.TXT" $((10#$i * 37)); done
  make_file "$t/DOCS/OLD/OLD1.TXT" 333
  make_file "$t/DOCS/OLD/DRAFTS/DRAFT.TXT" 444
  make_file "$t/Long Named Folder/a long file name.txt" 50
  make_file "$t/Long Named Folder/SMALL.TXT" 10
  find "$t" -type f -exec touch -d '2024-01-05 13:07:22' {} +
  find "$t" -type f -path '*/DOCS/*' -exec touch -d '2022-02-28 23:45:10' {} +
  mcopy -s -m -i "$m" "$t"/* ::/
  mdel -i "$m" ::/NOTES.TXT
  mdeltree -i "$m" ::/DOCS/OLD
  # The local tree under the names the volume now shows, for the manifest.
  mv "$t/NOTES.TXT" "$t/_OTES.TXT"
  mv "$t/DOCS/OLD/OLD1.TXT" "$t/DOCS/OLD/_LD1.TXT"
  mv "$t/DOCS/OLD/DRAFTS" "$t/DOCS/OLD/_RAFTS"
  mv "$t/DOCS/OLD/_RAFTS/DRAFT.TXT" "$t/DOCS/OLD/_RAFTS/_RAFT.TXT"
  mv "$t/DOCS/OLD" "$t/DOCS/_LD"
}

save_reference() {  # START NAME
  local out="$OUTBASE.$2" inode path
  fls -r -p -l -o "$1" "$IMG" >"$out.fls"
  fsstat -o "$1" "$IMG" >"$out.fsstat"
  manifest "tree.$2" >"$out.sha256"
  : >"$out.dirs"
  { printf '2\t/\n'; fls -r -p -o "$1" "$IMG" | awk -F'\t' '$1 ~ /^d\/d/ { sub(/^.* /, "", $1); sub(/:$/, "", $1); print $1 "\t" $2 }'; } |
    while IFS=$'\t' read -r inode path; do
      istat -o "$1" "$IMG" "$inode" | awk -v p="$path" '
        seen { for (i = 1; i <= NF; i++) { if (!first) first = $i; n++ } }
        /^Sectors:/ { seen = 1 }
        END { printf "%s\t%s\t%d\n", p, first, n }' >>"$out.dirs"
    done
}
