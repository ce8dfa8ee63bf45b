#!/usr/bin/perl
# Lists one tag of a dBase .MDX index file with XBase::Index (libdbd-xbase-perl), a reader
# written independently of this project: first "tags: NAME ...", then one line
# "VALUE RECORD" per key in index order. Numeric keys are decoded from their 12-byte form.
use strict;
use warnings;
use XBase::Index;

my ($file, $tag) = @ARGV;
die "usage: $0 FILE.MDX TAG\n" unless defined $tag;
my $index = XBase::Index->new($file, tag => $tag)
    or die "cannot read $file: " . XBase::Index->errstr . "\n";
print "tags: ", join(' ', $index->tags), "\n";
my $type = $index->{'active'}{'key_type'};
$index->prepare_select;
while (my ($key, $record) = $index->fetch) {
    print(($type eq 'N' ? numeric($key) : $key), " $record\n");
}

# 0x34 plus the whole digits; digit count in bits 2-6 and sign in bit 7; packed decimal digits.
sub numeric {
    my ($bytes) = @_;
    my ($place, $info, $packed) = unpack 'C C a10', $bytes;
    my $count = ($info >> 2) & 0x1F;
    return '0' if $count == 0;
    my $digits = substr(unpack('H*', $packed), 0, $count);
    my $value = $digits * 10 ** (($place - 0x34) - $count);
    return sprintf('%s%.15g', ($info & 0x80) ? '-' : '', $value);
}
