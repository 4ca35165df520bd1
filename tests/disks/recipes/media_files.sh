# Steps the recipes of camera-like FAT volumes share (sourced by them; not a recipe of its own).
# After an edit here, touch the recipes that source it so that make_disk.sh builds their images
# again.

# make_media PATH SIZE SEED [PATH SIZE SEED ...]: at each PATH a well-formed file of exactly SIZE
# bytes of its extension's kind, as decoders and file carvers accept it (one call for many files
# saves a program start for each): .JPG a baseline greyscale JPEG (its own Huffman tables,
# blocks of random coefficients, a comment segment to make up the size), .PNG an RGB image of
# random pixels in zlib-compressed IDAT chunks of 16 KiB (a tEXt chunk makes up the size), .PDF one
# page whose content stream draws random text (a comment line makes up the size), .ZIP an archive
# of three stored members of random bytes (its comment makes up the size); anything else, and a
# size too small for its kind, plain random bytes. Every byte comes from a generator seeded by
# SEED: every file differs from every other, and the recipe makes the same files each time.
make_media() {
  local i
  for ((i = 1; i <= $#; i += 3)); do mkdir -p "$(dirname "${!i}")"; done
  perl -MCompress::Zlib -e '
    use strict; use warnings;
    our ($path, $size, $seed);
    my $x;
    sub reseed { $x = ($seed * 2654435761 + 7) % 2147483648 }
    sub rnd { $x = ($x * 1103515245 + 12345) % 2147483648; return ($x >> 16) & 32767 }
    sub bytes { my $n = shift; my $s = ""; $s .= chr(rnd() & 255) for 1 .. $n; return $s }

    # Four-bit codes for every symbol: 12 DC categories; AC end-of-block and run 0, sizes 1..5. The
    # coefficients of all the rows one file may need are drawn once, as bits, with the place each
    # row ends: a file of fewer rows is a prefix of them.
    my @ac = (0x00, 0x01, 0x02, 0x03, 0x04, 0x05);
    our ($jpegBits, @rowEnd);
    sub jpegRows {
      my ($rows, $bw) = @_;
      reseed();
      my %acCode; $acCode{$ac[$_]} = $_ for 0 .. $#ac;
      my $put = sub { my ($v, $n) = @_; $jpegBits .= substr(sprintf("%016b", $v), 16 - $n) if $n };
      my $value = sub { my $v = shift; my $a = abs $v; my $s = 0; $s++ while ($a >> $s);
        return ($s, $v >= 0 ? $v : $v + (1 << $s) - 1) };
      my $prev = 0;
      @rowEnd = (0);
      for my $row (1 .. $rows) {
        for (1 .. $bw) {
          my $dc = (rnd() % 401) - 200; my ($s, $bits) = $value->($dc - $prev); $prev = $dc;
          $put->($s, 4); $put->($bits, $s) if $s;
          for (1 .. rnd() % 7) { my $v = (rnd() % 31) - 15; $v = 1 if $v == 0; my ($s2, $b2) = $value->($v);
            $put->($acCode{$s2}, 4); $put->($b2, $s2) }
          $put->(0, 4);
        }
        push @rowEnd, length $jpegBits;
      }
    }
    sub jpeg {
      my ($rows, $bw, $pad) = @_;
      my $dht = sub { my ($class, $n) = @_;
        return pack("C", $class) . pack("C16", 0, 0, 0, $n, (0) x 12) . pack("C*", $class ? @ac : (0 .. 11)) };
      # One-bits up to the byte boundary, and a zero byte stuffed after every 0xFF.
      my $bits = substr($jpegBits, 0, $rowEnd[$rows]);
      $bits .= "1" x ((8 - length($bits) % 8) % 8);
      (my $data = pack("B*", $bits)) =~ s/\xFF/\xFF\x00/g;
      my $seg = sub { my ($m, $body) = @_; return pack("CC", 0xFF, $m) . pack("n", length($body) + 2) . $body };
      my $com = "";
      while ($pad > 0) { my $n = $pad > 65000 ? 65000 : $pad; $n = $pad - 4 if $pad > 65000 && $pad - $n < 4;
        $com .= $seg->(0xFE, "q" x ($n - 4)); $pad -= $n }
      return "\xFF\xD8" . $seg->(0xE0, "JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00") . $com
        . $seg->(0xDB, "\x00" . ("\x08" x 64))
        . $seg->(0xC0, pack("CnnC", 8, $rows * 8, $bw * 8, 1) . "\x01\x11\x00")
        . $seg->(0xC4, $dht->(0x00, 12)) . $seg->(0xC4, $dht->(0x10, scalar @ac))
        . $seg->(0xDA, "\x01\x01\x00\x00\x3F\x00") . $data . "\xFF\xD9";
    }
    our $pngRaw;
    sub png {
      my ($rows, $pad) = @_;
      my $w = 128;
      # The pixels of the most rows asked for are drawn once; fewer rows are a prefix of them.
      if (length($pngRaw) < $rows * ($w * 3 + 1)) {
        reseed(); $pngRaw = ""; $pngRaw .= "\x00" . bytes($w * 3) for 1 .. $rows;
      }
      my $z = compress(substr($pngRaw, 0, $rows * ($w * 3 + 1)), 9);
      my $chunk = sub { my ($t, $d) = @_; return pack("N", length $d) . $t . $d . pack("N", crc32($t . $d)) };
      my $out = "\x89PNG\r\n\x1A\n" . $chunk->("IHDR", pack("NNCCCCC", $w, $rows, 8, 2, 0, 0, 0));
      $out .= $chunk->("tEXt", "Comment\x00" . ("q" x ($pad - 20))) if $pad;
      $out .= $chunk->("IDAT", substr($z, $_ * 16384, 16384)) for 0 .. int((length($z) - 1) / 16384);
      return $out . $chunk->("IEND", "");
    }
    sub pdf {
      my ($lines, $pad) = @_;
      reseed();
      my $text = "BT /F1 10 Tf 40 800 Td 12 TL\n";
      $text .= "(" . join("", map { chr(97 + rnd() % 26) } 1 .. 60) . ") Tj T*\n" for 1 .. $lines;
      $text .= "ET\n";
      my @objs = ("<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R"
          . " /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " . length($text) . " >>\nstream\n${text}endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
      my $out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
      $out .= "%" . ("q" x ($pad - 2)) . "\n" if $pad;
      my @at;
      for my $i (0 .. $#objs) { push @at, length $out; $out .= ($i + 1) . " 0 obj\n$objs[$i]\nendobj\n" }
      my $xref = length $out;
      $out .= "xref\n0 " . (@objs + 1) . "\n0000000000 65535 f \n";
      $out .= sprintf("%010d 00000 n \n", $_) for @at;
      return $out . "trailer\n<< /Size " . (@objs + 1) . " /Root 1 0 R >>\nstartxref\n$xref\n%%EOF\n";
    }
    sub zip {
      my ($member, $pad) = @_;
      reseed();
      my ($local, $central) = ("", "");
      for my $i (1 .. 3) {
        my $name = "part$i.bin"; my $data = bytes($member);
        my $head = pack("vvvvvVVVvv", 20, 0, 0, 0x5000, 0x5921, crc32($data), length $data, length $data,
                        length $name, 0);
        $central .= "PK\x01\x02" . pack("v", 20) . $head . pack("vvvVV", 0, 0, 0, 0, length $local) . $name;
        $local .= "PK\x03\x04" . $head . $name . $data;
      }
      return $local . $central . "PK\x05\x06" . pack("vvvvVVv", 0, 0, 3, 3, length $central, length $local, $pad)
        . ("q" x $pad);
    }
    # fit MAKE MIN HIGH: the file of the largest body (rows, lines) up to HIGH that leaves room for
    # a padding of at least MIN bytes, padded to SIZE; the length grows with the body, so a
    # bisection finds it.
    sub fit {
      my ($make, $min, $high) = @_;
      my ($lo, $hi) = (0, $high);
      while ($lo < $hi) {
        my $mid = int(($lo + $hi + 1) / 2);
        if (length($make->($mid, 0)) <= $size - $min) { $lo = $mid } else { $hi = $mid - 1 }
      }
      return undef if $lo < 1;
      return $make->($lo, $size - length $make->($lo, 0));
    }
    while (@ARGV) {
    ($path, $size, $seed) = splice(@ARGV, 0, 3);
    $jpegBits = ""; @rowEnd = (); $pngRaw = "";
    my $out;
    if ($path =~ /\.JPG$/i) {
      my $bw = $size < 4000 ? 8 : 40;
      my $high = int($size / (3 * $bw)) + 1;
      jpegRows($high, $bw);
      $out = fit(sub { jpeg($_[0], $bw, $_[1]) }, 4, $high);
    } elsif ($path =~ /\.PNG$/i) {
      my $high = int($size / 385) + 1;
      png($high, 0);
      $out = fit(\&png, 20, $high);
    } elsif ($path =~ /\.PDF$/i) {
      $out = fit(\&pdf, 3, int($size / 68) + 1);
    } elsif ($path =~ /\.ZIP$/i) {
      my $member = int(($size - 304) / 3);
      $out = zip($member, $size - 304 - 3 * $member) if $member >= 1;
    }
    if (!defined $out) { reseed(); $out = bytes($size) }
    die "$path: made " . length($out) . " bytes, not $size\n" if length($out) != $size;
    open(my $f, ">:raw", $path) or die "$path: $!";
    print $f $out;
    close $f;
    }
  ' "$@"
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

# camera_files FOLDER SEED: what a camera leaves on a card, made below FOLDER: DCIM/100CANON with
# 24 photos (every seventh a PNG screenshot), DCIM/101CANON with 12 and MISC with 6 PDF and
# ZIP-like documents, each file tens of KiB and made from SEED and its number, all dated alike.
camera_files() {
  local folder=$1 seed=$2 n=0 dir count i name ext files=()
  for dir in 100CANON:24 101CANON:12; do
    count=${dir#*:}
    for i in $(seq 1 "$count"); do
      n=$((n + 1))
      name=$(printf 'IMG_%04d.JPG' "$n")
      [ $((n % 7)) = 0 ] && name=$(printf 'SCR_%04d.PNG' "$n")
      files+=("$folder/DCIM/${dir%:*}/$name" "$(media_size $((seed + n)) 20000 120000)" $((seed + n)))
    done
  done
  for i in $(seq 1 6); do
    n=$((n + 1))
    ext=PDF
    [ $((i % 2)) = 0 ] && ext=ZIP
    files+=("$folder/MISC/DOC_$i.$ext" "$(media_size $((seed + n)) 10000 60000)" $((seed + n)))
  done
  make_media "${files[@]}"
  find "$folder" -type f -exec touch -d '2024-09-10 11:12:13' {} +
}
