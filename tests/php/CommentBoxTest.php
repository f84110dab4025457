<?php
// The comment box of a generated video page, a rule a test: what a post must pass, what is stored, what is shown.
declare(strict_types=1);

use PHPUnit\Framework\TestCase;

final class CommentBoxTest extends TestCase
{
    private const DATE = '\d{4}-\d\d-\d\d \d\d:\d\d:\d\d';
    private const MARK = 'n=[0-9a-f]{16}'; // the poster's network, as the page marks a stored comment
    private Channel $channel;

    protected function setUp(): void
    {
        $this->channel = new Channel('roses.php', 'tulips.php', "Bob's \$clip {1}.php");
    }

    protected function tearDown(): void
    {
        unset($this->channel);
    }

    // A post as a person sends it: the text, a token of a page served 10 seconds ago, an empty hidden field.
    private function post(string $text, string $page = 'roses.php', string $address = '192.0.2.10',
                          array $more = []): Response
    {
        return $this->channel->request($page, $more + ['text' => $text, 't' => token(10), 'website' => ''], $address);
    }

    private function assertQuiet(Response ...$responses): void
    {
        foreach ($responses as $r) {
            $this->assertSame('', $r->errors);
        }
    }

    public function testAVisitShowsTheFormWithAFreshTokenAndStoresNothing(): void
    {
        $page = $this->channel->request('roses.php');
        $this->assertQuiet($page);
        $this->assertStringContainsString('<form method="POST">', $page->body);
        $this->assertStringNotContainsString(SECRET, $page->body);
        [$time, $mac] = explode('-', $page->token());
        $this->assertEqualsWithDelta(time(), (int) $time, 5);
        $this->assertSame(hash_hmac('sha256', 'comment ' . $time, SECRET), $mac);
        $this->assertMatchesRegularExpression('~<div class="away" aria-hidden="true">.*\n.*name="website"~',
            $page->body);
        $this->assertSame([], $this->channel->request('roses.php', [])->shown(), 'a post without text is a visit');
        $this->assertFalse($this->channel->has('roses_comments.txt'));
    }

    public function testAPostIsStoredUnderThePagesNameAndShownEscapedOldestFirst(): void
    {
        $first = $this->post("Line one\r\nline two");
        $second = $this->post('</textarea><script>alert(1)</script>', 'roses.php', '192.0.2.10',
            ['date' => '2026-12-06']);
        $this->assertQuiet($first, $second);
        $this->assertSame('', $first->notice());
        $this->assertSame('', $first->kept(), 'a stored comment leaves the box empty');
        $this->assertMatchesRegularExpression('~^Line one\nline two\n' . self::DATE . "\r\n" . self::MARK . "\n"
            . '</textarea><script>alert\(1\)</script>\n' . self::DATE . "\r\n" . self::MARK . " 2026-12-06\n\\z~",
            $this->channel->file('roses_comments.txt'));
        $this->assertSame(["Line one<br>\nline two", '&lt;/textarea&gt;&lt;script&gt;alert(1)&lt;/script&gt;'],
            $second->shown());
        $this->assertStringNotContainsString('<script>alert', $second->body);

        $awkward = $this->post('named', "Bob's \$clip {1}.php", '10.9.9.9');
        $this->assertQuiet($awkward);
        $this->assertStringStartsWith("named\n", $this->channel->file("Bob's \$clip {1}_comments.txt"));
        $this->assertSame(['named'], $awkward->shown());
    }

    public function testBytesThatAreNotUtf8AreKeptAndShownSubstitutedWithoutHidingTheOthers(): void
    {
        $this->post("ab\xFF\xFE\xC3(");
        $after = $this->post('after');
        $this->assertQuiet($after);
        $this->assertStringStartsWith("ab\xFF\xFE\xC3(\n", $this->channel->file('roses_comments.txt'));
        $this->assertSame(["ab\u{FFFD}\u{FFFD}\u{FFFD}(", 'after'], $after->shown());
    }

    public function testATextThatIsNoStringIsIgnored(): void
    {
        $r = $this->channel->request('roses.php', ['text' => ['x'], 't' => token(10)]);
        $this->assertQuiet($r);
        $this->assertSame('', $r->notice());
        $this->assertFalse($this->channel->has('roses_comments.txt'));
    }

    public function testAPostTooSoonAfterThePageWasServedIsRefusedAndTheTextKept(): void
    {
        freshSecond();
        foreach ([0, 2] as $age) {
            $r = $this->channel->request('roses.php', ['text' => 'First!', 't' => token($age)]);
            $this->assertSame('Sorry, that was too fast. Please wait a few seconds, then post your comment again.',
                $r->notice());
            $this->assertSame('First!', $r->kept());
        }
        $this->assertSame('', $this->channel->request('roses.php', ['text' => 'Third', 't' => token(3)])->notice());
        $this->assertSame(['Third'], $this->channel->request('roses.php')->shown());
    }

    public function testATokenADayOldForgedOrBrokenIsRefusedAndTheTextKept(): void
    {
        $later = time() + 100;
        $future = $later . '-' . hash_hmac('sha256', 'comment ' . $later, SECRET);
        foreach ([token(86401), token(10, str_repeat('d', 64)), '123-abc', 'abc', $future] as $token) {
            $r = $this->channel->request('roses.php', ['text' => 'Left open', 't' => $token]);
            $this->assertQuiet($r);
            $this->assertSame(
                'Sorry, this page was loaded too long ago to post from. Please post your comment again.',
                $r->notice(), $token);
            $this->assertSame('Left open', $r->kept());
        }
        $this->assertSame('', $this->channel->request('roses.php', ['text' => 'ok', 't' => token(86000)])->notice());
        $this->assertStringStartsWith("ok\n", $this->channel->file('roses_comments.txt'));
    }

    public function testABotIsAnsweredAsIfItsPostWentInAndNothingIsStored(): void
    {
        $blind = $this->channel->request('roses.php', ['text' => 'Buy now']);
        $trapped = $this->post('Buy now', 'roses.php', '192.0.2.10', ['website' => 'http://spam.example']);
        foreach ([$blind, $trapped] as $r) {
            $this->assertQuiet($r);
            $this->assertSame('', $r->notice());
            $this->assertSame('', $r->kept());
            $this->assertSame([], $r->shown());
        }
        $this->assertFalse($this->channel->has('roses_comments.txt'));
        $this->assertFalse($this->channel->has('comment_rate_limits.txt'), 'a bot is not counted against a network');
    }

    public function testACommentHoldsAtMostTwoLinks(): void
    {
        $three = $this->post('see http://a.example HTTPS://b.example www.c.example');
        $this->assertSame('Sorry, a comment may hold at most 2 links.', $three->notice());
        $this->assertSame('see http://a.example HTTPS://b.example www.c.example', $three->kept());
        $this->assertFalse($this->channel->has('roses_comments.txt'));
        $this->assertSame('', $this->post('see http://a.example and WWW.b.example')->notice());
        $this->assertStringStartsWith('see http://a.example', $this->channel->file('roses_comments.txt'));
    }

    public function testACommentHoldsAtMost500CharactersCountedAsCharacters(): void
    {
        $limit = str_repeat("x\u{E9}\u{E9}", 166) . 'xx'; // 500 characters, 832 bytes
        $this->assertSame('', $this->post($limit)->notice());
        $this->assertStringStartsWith($limit . "\n", $this->channel->file('roses_comments.txt'));
        $before = $this->channel->file('roses_comments.txt');
        $over = $this->post($limit . 'y', 'roses.php', '192.0.2.77');
        $this->assertSame('Sorry, comments are limited to 500 characters.', $over->notice());
        $this->assertSame($limit . 'y', html_entity_decode($over->kept()));
        $this->assertSame($before, $this->channel->file('roses_comments.txt'));
        $this->assertSame('', $this->post(str_repeat("a\r\n", 250), 'roses.php', '192.0.2.78')->notice(),
            'a line break posted as CR LF is one character');
    }

    public function testTheCommentsFileStaysWithin30000Bytes(): void
    {
        // A post of 490 characters takes 531 bytes (its network's mark 18), one of "x" whose date is longer than a
        // date 42 (the date is dropped): the two fill the file to the byte, and the next is refused.
        $this->channel->put('roses_comments.txt', str_repeat('x', 30000 - 531 - 42));
        $this->assertSame('', $this->post(str_repeat('c', 490), 'roses.php', '10.0.1.1')->notice());
        $this->assertSame('', $this->post('x', 'roses.php', '10.0.2.1', ['date' => str_repeat('d', 41)])->notice());
        $this->assertSame(30000, strlen($this->channel->file('roses_comments.txt')));
        $this->channel->put('roses_comments.txt', str_repeat('x', 30000 - 42 + 1));
        $full = $this->post('x', 'roses.php', '10.0.3.1');
        $this->assertSame('Sorry, comments for this entry are full.', $full->notice());
        $this->assertSame('x', $full->kept());
        $this->assertSame(30001 - 42, strlen($this->channel->file('roses_comments.txt')));
        $this->assertSame('', $this->post('x', 'tulips.php', '10.0.4.1')->notice(), 'each video has its own file');
    }

    public function testANetworkPostsTwiceAMinuteAndTwentyTimesADayAcrossTheChannel(): void
    {
        $this->assertSame('', $this->post('one', 'roses.php', '192.0.2.10')->notice());
        $this->assertSame('', $this->post('two', 'tulips.php', '192.0.2.99')->notice());
        $third = $this->post('three', 'roses.php', '192.0.2.200');
        $this->assertSame('Sorry, that is too many comments in a minute. Please wait a minute, then post again.',
            $third->notice());
        $this->assertSame('three', $third->kept());
        $this->assertSame('', $this->post('other', 'roses.php', '192.0.3.10')->notice(), 'another /24');
        $this->assertSame('', $this->post('mapped', 'roses.php', '::ffff:198.51.100.1')->notice());
        $this->assertSame('', $this->post('mapped', 'roses.php', '198.51.100.2')->notice());
        $this->assertSame('Sorry, that is too many comments in a minute. Please wait a minute, then post again.',
            $this->post('mapped', 'roses.php', '::ffff:198.51.100.3')->notice(), 'an IPv4 address as IPv6 is IPv4');
        $this->assertSame(
            'Sorry, that is too many comments in a minute. Please wait a minute, then post again.',
            $this->post('v6', 'roses.php', '2001:db8:1:2::1', [])->notice() . $this->post('v6', 'roses.php',
                '2001:db8:1:2:ffff::9')->notice() . $this->post('v6', 'roses.php', '2001:db8:1:2:1::1')->notice());
        $this->assertSame('', $this->post('v6', 'roses.php', '2001:db8:1:3::1')->notice(), 'another /64');

        $limits = $this->channel->file('comment_rate_limits.txt');
        $this->assertStringNotContainsString('192.0', $limits, 'no address in the file');
        $this->assertStringNotContainsString('2001', $limits);
        $this->assertLessThanOrEqual(6, count(explode("\n", trim($limits))), 'one row a network and an IPv6 /48');

        // The network of 192.0.2.*, its posts made older: a minute on, it may post again; after twenty in a day not.
        $older = function (int $seconds, int $more) {
            $rows = explode("\n", trim($this->channel->file('comment_rate_limits.txt')));
            $key = hash_hmac('sha256', 'network ' . substr(inet_pton('192.0.2.0'), 0, 3), SECRET);
            foreach ($rows as &$row) {
                $fields = explode(' ', $row);
                if (str_starts_with($key, $fields[0])) {
                    $times = array_map(fn ($t) => (int) $t - $seconds, array_slice($fields, 1));
                    for ($i = 0; $i < $more; ++$i) {
                        $times[] = time() - 3600 - $i;
                    }
                    $row = $fields[0] . ' ' . implode(' ', $times);
                }
            }
            $this->channel->put('comment_rate_limits.txt', implode("\n", $rows) . "\n");
        };
        $older(61, 0);
        $this->assertSame('', $this->post('a minute later', 'roses.php', '192.0.2.10')->notice());
        $older(61, 17);
        $day = $this->post('the 21st', 'tulips.php', '192.0.2.10');
        $this->assertSame(
            'Sorry, no more comments can be posted from your network today. Please come back tomorrow.',
            $day->notice());
        $this->assertLessThanOrEqual(5 * 240, strlen($this->channel->file('comment_rate_limits.txt')));
        $older(86400, 0);
        $this->assertSame('', $this->post('a day later', 'tulips.php', '192.0.2.10')->notice());
    }

    public function testACommentTheHostHidIsNotPrintedAndAClosedThreadTakesNoPost(): void
    {
        $this->post('first', 'roses.php', '192.0.2.1');
        $this->post('second', 'roses.php', '192.0.2.2');
        $stored = $this->channel->file('roses_comments.txt');
        $firstRecord = substr($stored, 0, strpos($stored, "second\n"));
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $firstRecord) . "\r\n");
        $this->assertSame(['second'], $this->channel->request('roses.php')->shown());

        $this->channel->put('comment_moderation.txt',
            'hide ' . hash('sha256', $firstRecord) . "\nclose roses_comments.txt\n");
        $closed = $this->post('still here?', 'roses.php', '192.0.2.3');
        $this->assertQuiet($closed);
        $this->assertSame('Sorry, comments on this video are closed.', $closed->notice());
        $this->assertStringNotContainsString('<form', $closed->body);
        $this->assertStringContainsString('<p class="notice">Comments on this video are closed.</p>', $closed->body);
        $this->assertSame(['second'], $closed->shown());
        $this->assertSame($stored, $this->channel->file('roses_comments.txt'));
        $this->assertStringContainsString('<form', $this->channel->request('tulips.php')->body,
            'the other thread stays open');
    }

    public function testACommentHoldsAtMost1500BytesHoweverFewItsCharacters(): void
    {
        $emoji = "\u{1F600}"; // 4 bytes
        $over = $this->post(str_repeat($emoji, 500), 'roses.php', '192.0.2.1');
        $this->assertSame('Sorry, comments are limited to 1,500 bytes: an emoji takes 4, an accented letter 2.',
            $over->notice());
        $this->assertSame(str_repeat($emoji, 500), html_entity_decode($over->kept()));
        $this->assertFalse($this->channel->has('roses_comments.txt'));
        $this->assertSame('', $this->post(str_repeat($emoji, 375), 'roses.php', '192.0.3.1')->notice());
        $this->assertStringStartsWith(str_repeat($emoji, 375) . "
", $this->channel->file('roses_comments.txt'));
        $this->assertSame('Sorry, comments are limited to 1,500 bytes: an emoji takes 4, an accented letter 2.',
            $this->post(str_repeat($emoji, 375) . 'x', 'roses.php', '192.0.4.1')->notice());
        $this->assertSame('', $this->post(str_repeat("\r\n", 100) . str_repeat($emoji, 350), 'roses.php', '192.0.5.1')
            ->notice(), 'counted as stored: a line break posted as CR LF is one byte');
    }

    // One network (an IPv4 /24, an IPv6 /48) posting the largest comments it may, from new addresses and as slowly as
    // the rate limits ask, fills a quarter of a thread and no more: every other network can still post.
    public function testOneNetworkHoldsAtMostAQuarterOfAThread(): void
    {
        $large = str_repeat("\u{1F600}", 375); // 1,500 bytes, 1,541 stored
        $said = [];
        for ($i = 1; $i <= 16; ++$i) {
            $this->channel->put('comment_rate_limits.txt', ''); // a minute and more between the posts
            $said[] = $this->post($large, 'roses.php', "203.0.113.$i")->notice();
        }
        $share = 'Sorry, your network has posted as much on this video as one network may: a quarter of its comments.';
        $this->assertSame(array_merge(array_fill(0, 4, ''), array_fill(0, 12, $share)), $said);
        $this->assertSame(4 * 1541, strlen($this->channel->file('roses_comments.txt')));
        $this->assertSame('', $this->post('Lovely roses', 'roses.php', '198.51.100.7')->notice(), 'another network');
        $this->assertSame('', $this->post($large, 'tulips.php', '203.0.113.20')->notice(), 'another thread');
        $this->assertSame('', $this->post('small', 'roses.php', '203.0.114.1')->notice(), 'the next /24');

        $v6 = [];
        foreach (['2001:db8:7:1::1', '2001:db8:7:2::1', '2001:db8:7:3::1', '2001:db8:7:4::1', '2001:db8:7:5::1'] as $a) {
            $this->channel->put('comment_rate_limits.txt', '');
            $v6[] = $this->post($large, 'roses.php', $a)->notice();
        }
        $this->assertSame(['', '', '', '', $share], $v6, 'an IPv6 /48 is one network, whatever its /64s');
    }

    // A network's share is counted to the byte, its comments with a posted date and its hidden ones too.
    public function testANetworksShareIsCountedToTheByteHiddenCommentsIncluded(): void
    {
        $mark = 'n=' . substr(hash_hmac('sha256', 'poster ' . substr(inet_pton('203.0.113.0'), 0, 3), SECRET), 0, 16);
        $head = "\n2026-12-01 10:00:00\r\n$mark 2026-12-06\n";
        // With the 42 bytes a post of "x" takes, the network holds exactly 7,500.
        $own = str_repeat('o', 7500 - 42 - strlen($head)) . $head;
        $this->channel->put('roses_comments.txt', $own);
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $own) . "\n");
        $this->assertSame('', $this->post('x', 'roses.php', '203.0.113.9')->notice());
        $this->assertSame(7500, strlen($this->channel->file('roses_comments.txt')));
        $this->channel->put('comment_rate_limits.txt', '');
        $this->assertSame(
            'Sorry, your network has posted as much on this video as one network may: a quarter of its comments.',
            $this->post('y', 'roses.php', '203.0.113.10')->notice());
        $this->assertSame('', $this->post('y', 'roses.php', '203.0.112.10')->notice(), 'the /24 next to it');
    }

    // However much the host hid, the comments file itself stays within 120,000 bytes.
    public function testTheCommentsFileItselfStaysWithin120000Bytes(): void
    {
        $hidden = str_repeat('h', 120000 - 42 - 23) . "\n2026-12-01 10:00:00\r\n\n";
        $this->channel->put('roses_comments.txt', $hidden);
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $hidden) . "\n");
        $this->assertSame('', $this->post('x', 'roses.php', '192.0.2.1')->notice());
        $this->assertSame(120000, strlen($this->channel->file('roses_comments.txt')));
        $this->assertSame('Sorry, comments for this entry are full.',
            $this->post('y', 'roses.php', '198.51.100.1')->notice());
    }

    // The comments the host hid leave room for others; the thread is full at 30,000 bytes of what is shown.
    public function testHiddenCommentsDoNotFillAThread(): void
    {
        $record = fn (string $text) => $text . "\n2026-12-01 10:00:00\r\n\n";
        $spam = $record(str_repeat('s', 14960));
        $kept = $record(str_repeat('k', 14960));
        $this->channel->put('roses_comments.txt', $spam . $kept);
        $full = $this->post('room?', 'roses.php', '192.0.2.1');
        $this->assertSame('Sorry, comments for this entry are full.', $full->notice());
        $this->channel->put('comment_moderation.txt', 'hide ' . hash('sha256', $spam) . "\n");
        $this->assertSame('', $this->post('room now', 'roses.php', '192.0.2.1')->notice());
        $this->assertSame([str_repeat('k', 14960), 'room now'], $this->channel->request('roses.php')->shown());
        $this->assertStringStartsWith($spam . $kept . "room now\n", $this->channel->file('roses_comments.txt'),
            'nothing is dropped');
    }

    // Posts at once from many networks, as a server's workers run them: the comments never pass 30,000 bytes, and each
    // post is stored whole or told it is full.
    public function testPostsAtOnceNeverTakeTheCommentsPastTheirCap(): void
    {
        $this->channel->put('roses_comments.txt', str_repeat('x', 29000) . "\n2026-12-01 10:00:00\r\n\n");
        $posts = [];
        for ($i = 0; $i < 40; ++$i) {
            $posts[] = [['text' => sprintf('Post %02d ', $i) . str_repeat('p', 92), 't' => token(10), 'website' => ''],
                "10.0.$i.1"];
        }
        $stored = 0;
        foreach ($this->channel->requestAll('roses.php', $posts) as $r) {
            $this->assertQuiet($r);
            $this->assertContains($r->notice(), ['', 'Sorry, comments for this entry are full.']);
            $stored += $r->notice() === '' ? 1 : 0;
        }
        $data = $this->channel->file('roses_comments.txt');
        $this->assertLessThanOrEqual(30000, strlen($data));
        $this->assertSame($stored, preg_match_all('~(?<=\n)Post \d\d p{92}\n' . self::DATE . "\r\n" . self::MARK . "\n~",
            $data));
        $this->assertSame(6, $stored, 'as many as fit');
    }

    // A disk too full for the post (a small tmpfs): the visitor is told and keeps the text, nothing half-written
    // stays, and the post does not count against the network's limit.
    public function testAPostTheDiskCannotHoldIsSaidKeptAndNotCounted(): void
    {
        $channel = new Channel();
        exec('mount -t tmpfs -o size=64k tmpfs ' . escapeshellarg($channel->dir) . ' 2>&1', $out, $status);
        if ($status !== 0) {
            $this->markTestSkipped('needs root, to mount a small tmpfs: ' . implode(' ', $out));
        }
        try {
            copy(Pages::folder() . '/roses.php', $channel->dir . '/roses.php');
            $filler = fopen($channel->dir . '/filler', 'w');
            while (@fwrite($filler, str_repeat('f', 4096)) === 4096) {
            }
            fclose($filler);
            foreach ([1, 2, 3] as $attempt) {
                $r = $channel->request('roses.php', ['text' => 'Kept words', 't' => token(10), 'website' => '']);
                $this->assertQuiet($r);
                $this->assertSame('Sorry, your comment could not be stored just now. Please try again later.',
                    $r->notice(), "attempt $attempt");
                $this->assertSame('Kept words', $r->kept());
                $this->assertSame('', $channel->file('roses_comments.txt'));
            }
            unlink($channel->dir . '/filler');
            foreach (['First words', 'Second words'] as $text) {
                $r = $channel->request('roses.php', ['text' => $text, 't' => token(10), 'website' => '']);
                $this->assertSame('', $r->notice(), 'the posts not stored did not count: ' . $r->notice());
            }
            $this->assertSame(['First words', 'Second words'], $r->shown());
        } finally {
            exec('umount ' . escapeshellarg($channel->dir));
        }
    }

    // A post is one comment whatever it holds: a date line typed into the text, with any line breaks, or a line break
    // in the date field, neither ends it nor passes for the server's date, and its links count in every field.
    public function testAPostIsOneCommentWithTheServersDate(): void
    {
        $forged = "Nice\n2019-01-01 10:00:00\r\n\nBuy http://a http://b\r2019-01-01 10:00:00\r\n\nmore http://c";
        $this->assertSame('Sorry, a comment may hold at most 2 links.', $this->post($forged)->notice());
        $this->assertSame('', $this->post(str_replace(' http://c', '', $forged), 'roses.php', '10.1.1.1')->notice());
        $this->assertSame('Sorry, a comment may hold at most 2 links.', $this->post('one http://a', 'roses.php',
            '10.1.2.1', ['date' => "\nhttp://b http://c"])->notice());
        $this->assertSame('', $this->post('glued', 'roses.php', '10.1.3.1', ['date' => "\nGlued www.x.example"])
            ->notice());
        $this->assertSame('', $this->post('innocent', 'roses.php', '10.1.4.1')->notice());
        $page = $this->channel->request('roses.php');
        $this->assertSame(["Nice<br>\n2019-01-01 10:00:00<br>\n<br>\nBuy http://a http://b<br>\n2019-01-01 10:00:00<br>\n"
            . "<br>\nmore", 'glued', 'innocent'], $page->shown());
        $this->assertSame(0, preg_match('~<span class="date">2019~', $page->body));
        $records = $this->channel->file('roses_comments.txt');
        $this->assertSame(3, substr_count($records, "\r"), 'a CR only in the server\'s date lines');
        $this->assertMatchesRegularExpression("~\r\n" . self::MARK . " Glued www\\.x\\.example\n~", $records);
    }

    // The awkward comment files of tests/data/comments, as the page shows them; `clipnest comments` reads the same
    // files to the same list (publish_test Comments.TheAwkwardFilesReadAsThePageReadsThem).
    public function testTheAwkwardCommentFilesReadAsListed(): void
    {
        foreach (glob(__DIR__ . '/../data/comments/*.txt') as $file) {
            $this->channel->put('roses_comments.txt', (string) file_get_contents($file));
            $body = $this->channel->request('roses.php')->body;
            preg_match_all('~<p class="comment">(.*?)<span class="date">(' . self::DATE . ')</span></p>~s', $body, $m,
                PREG_SET_ORDER);
            $listed = '';
            foreach ($m as $comment) {
                $text = htmlspecialchars_decode(str_replace('<br>', '', $comment[1]), ENT_QUOTES);
                $listed .= $comment[2] . "\t" . str_replace(["\r", "\n"], ['\\r', '\\n'], $text) . "\n";
            }
            $this->assertSame((string) file_get_contents(substr($file, 0, -4) . '.listed'), $listed, basename($file));
        }
    }

    // An IPv6 /48 posts at most 5 times a minute from however many /64s; the rate-limit file keeps its 1000 rows of
    // latest posts, however many it found.
    public function testASiteOfManyNetworksIsCountedAndTheLimitFileStaysBounded(): void
    {
        $minute = 'Sorry, that is too many comments in a minute. Please wait a minute, then post again.';
        for ($i = 1; $i <= 5; ++$i) {
            $this->assertSame('', $this->post("v6 $i", 'roses.php', "2001:db8:5:$i::1")->notice(), "/64 number $i");
        }
        $this->assertSame($minute, $this->post('sixth', 'roses.php', '2001:db8:5:6::1')->notice());
        $this->assertSame('', $this->post('elsewhere', 'roses.php', '2001:db8:6:1::1')->notice(), 'another /48');

        $rows = '';
        for ($i = 0; $i < 5000; ++$i) {
            $rows .= sprintf('%016x', $i) . str_repeat(' ' . (time() - 100), 50) . "\n";
        }
        $this->channel->put('comment_rate_limits.txt', $rows);
        $this->assertSame('', $this->post('at the bound', 'roses.php', '198.51.100.7')->notice());
        $kept = explode("\n", trim($this->channel->file('comment_rate_limits.txt')));
        $this->assertCount(1000, $kept);
        $this->assertStringStartsWith(sprintf('%016x', 4001) . ' ', $kept[0], 'the oldest rows went');
    }
}
