# Steps the recipes of camera-like FAT volumes share (sourced by them; not a recipe of its own).
# After an edit here, touch the recipes that source it so that make_disk.sh builds their images
# again.

# make_media PATH SIZE SEED: a file of SIZE bytes that begins and ends the way files of its
# extension do (.JPG a JFIF header and the end-of-image marker, .PNG the signature, an IHDR chunk
# and IEND, .PDF a header and "%%EOF", .ZIP a local file header and an end-of-directory record;
# anything else plain bytes), with bytes in between from a generator seeded by SEED: every file
# differs from every other, and the recipe makes the same files each time.
make_media() {
  mkdir -p "$(dirname "$1")"
  perl -e '
    my ($path, $size, $seed) = @ARGV;
    my ($head, $tail) = ("", "");
    if ($path =~ /\.JPG$/i) {
      $head = "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00";
      $tail = "\xFF\xD9";
    } elsif ($path =~ /\.PNG$/i) {
      $head = "\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR\x00\x00\x01\x00\x00\x00\x00\xC0\x08\x02\x00\x00\x00\x00\x00\x00\x00";
      $tail = "\x00\x00\x00\x00IEND\xAE\x42\x60\x82";
    } elsif ($path =~ /\.PDF$/i) {
      $head = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
      $tail = "\n%%EOF\n";
    } elsif ($path =~ /\.ZIP$/i) {
      $head = "PK\x03\x04\x14\x00\x00\x00\x08\x00";
      $tail = "PK\x05\x06" . ("\x00" x 18);
    }
    my $body = $size - length($head) - length($tail);
    if ($body < 0) { $head = substr($head . $tail, 0, $size); $tail = ""; $body = 0; }
    my $x = ($seed * 2654435761 + 7) % 2147483648;
    my $out = "";
    for (1 .. $body) { $x = ($x * 1103515245 + 12345) % 2147483648; $out .= chr(($x >> 16) & 255); }
    open(my $f, ">:raw", $path) or die "$path: $!";
    print $f $head, $out, $tail;
    close $f;
  ' "$1" "$2" "$3"
}

# media_size SEED LOW HIGH: a size between LOW and HIGH bytes chosen by SEED.
media_size() {
  echo $(( $2 + (10#$1 * 7919 + 104729) % ($3 - $2 + 1) ))
}

# manifest FOLDER: "sha256<TWO SPACES>path" of every file below FOLDER, sorted by path.
manifest() {
  (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort | while IFS= read -r p; do
    printf '%s  %s\n' "$(sha256sum <"$p" | cut -d' ' -f1)" "$p"
  done)
}
