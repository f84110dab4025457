<?php
// A video page names the channel in its link home: the homepage's title as the page is served, read from the start
// of the homepage beside it, and "All videos" when there is none to read.
declare(strict_types=1);

use PHPUnit\Framework\TestCase;

final class HomeLinkTest extends TestCase
{
    private Channel $channel;

    protected function setUp(): void
    {
        $this->channel = new Channel('roses.php');
    }

    protected function tearDown(): void
    {
        unset($this->channel);
    }

    // The home link's words as the page prints them, and that the page said nothing else.
    private function homeLink(): string
    {
        $page = $this->channel->request('roses.php');
        $this->assertSame('', $page->errors);
        $this->assertSame(1, preg_match_all('~<a href="homepage.html">&larr; ([^<]*)</a>~', $page->body, $m), $page->body);
        return $m[1][0];
    }

    public function testTheHomepagesTitleNamesTheChannelAndFollowsItsChange(): void
    {
        copy(Pages::folder() . '/homepage.html', $this->channel->dir . '/homepage.html');
        $this->assertSame('Garden', $this->homeLink());
        $home = $this->channel->file('homepage.html');
        $this->channel->put('homepage.html', str_replace('<title>Garden</title>', '<title>Kitchen garden</title>', $home));
        $this->assertSame('Kitchen garden', $this->homeLink());
    }

    // The homepage's title is Windows-1252 page text; the link shows it as a browser shows the homepage's tab, in
    // UTF-8, and markup a hand edit put there stays text.
    public function testTheTitleIsShownAsTextInUtf8(): void
    {
        $this->channel->put('homepage.html', "<html><head>\r\n<meta charset=\"windows-1252\">\r\n<TITLE>\r\n  Tom &amp; "
            . "Jerry&#39;s   caf\xE9 \x80 &lt;3 <b>&#x2615;</b>\r\n</TITLE></head></html>\r\n");
        $this->assertSame("Tom &amp; Jerry&#039;s caf\u{e9} \u{20ac} &lt;3 &lt;b&gt;\u{2615}&lt;/b&gt;",
            $this->homeLink());
    }

    public function testWithoutATitleToReadTheLinkSaysAllVideos(): void
    {
        $this->assertSame('All videos', $this->homeLink(), 'no homepage');
        $this->channel->put('homepage.html', "<html><head><title>  </title></head></html>\r\n");
        $this->assertSame('All videos', $this->homeLink(), 'an empty title');
        $this->channel->put('homepage.html', "<html><head><title>Never closed\r\n");
        $this->assertSame('All videos', $this->homeLink(), 'a title never closed');
        // Only the homepage's head is read, however long the homepage.
        $this->channel->put('homepage.html', '<html><head>' . str_repeat('<!-- x -->', 1000)
            . '<title>Far down</title>');
        $this->assertSame('All videos', $this->homeLink(), 'a title past the head');
        unlink($this->channel->dir . '/homepage.html');
        mkdir($this->channel->dir . '/homepage.html');
        $this->assertSame('All videos', $this->homeLink(), 'a folder in the homepage\'s place');
        rmdir($this->channel->dir . '/homepage.html');
    }
}
