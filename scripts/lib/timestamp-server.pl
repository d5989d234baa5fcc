#!/usr/bin/perl
# A throw-away RFC 3161 time-stamping service on a loopback port, for the Windows stage's
# signing check (scripts/sign-windows.sh): answers each POST with `openssl ts -reply`
# signed by the given time-stamping certificate. Perl and its sockets are part of every
# Debian system (perl-base).
#   perl timestamp-server.pl OPENSSL_TS_CONFIG WORK_FOLDER PORT_FILE
# Writes the port it listens on to PORT_FILE, then serves until it is killed.
use strict;
use warnings;
use IO::Socket::INET;

my ($config, $work, $port_file) = @ARGV;
die "usage: timestamp-server.pl CONFIG WORK_FOLDER PORT_FILE\n" unless defined $port_file;

my $server = IO::Socket::INET->new(LocalAddr => '127.0.0.1', LocalPort => 0, Listen => 8,
                                   ReuseAddr => 1, Proto => 'tcp')
    or die "timestamp server: cannot listen: $!\n";
open(my $out, '>', "$port_file.new") or die "timestamp server: $port_file: $!\n";
print $out $server->sockport(), "\n";
close($out);
rename("$port_file.new", $port_file) or die "timestamp server: $port_file: $!\n";

while (my $client = $server->accept()) {
    binmode($client);
    my $length = 0;
    while (my $line = <$client>) {
        $line =~ s/\r?\n$//;
        last if $line eq '';
        $length = $1 if $line =~ /^Content-Length:\s*(\d+)/i;
    }
    my $query = '';
    while (length($query) < $length) {
        my $read = read($client, $query, $length - length($query), length($query));
        last unless $read;
    }
    open(my $file, '>:raw', "$work/query.tsq") or die;
    print $file $query;
    close($file);
    my $status = system('openssl', 'ts', '-reply', '-config', $config, '-queryfile',
                        "$work/query.tsq", '-out', "$work/reply.tsr");
    my $reply = '';
    if ($status == 0 && open(my $in, '<:raw', "$work/reply.tsr")) {
        local $/;
        $reply = <$in>;
        close($in);
        print $client "HTTP/1.1 200 OK\r\nContent-Type: application/timestamp-reply\r\n",
            "Content-Length: ", length($reply), "\r\nConnection: close\r\n\r\n", $reply;
    } else {
        print $client "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n",
            "Connection: close\r\n\r\n";
    }
    close($client);
}
