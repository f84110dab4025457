<?php
// Old Name Of The file
$old_name = "{OldName}" ;
// New Name For The File
$new_name = "{NewName}" ;
// Checking If File Already Exists: a file by that name is never replaced nor followed, whatever it holds
if(file_exists($new_name) || is_link($new_name))
 {
   echo "A File With The Same Name Already Exists" ;
 }
Else
 {
   if(@rename( $old_name, $new_name))
     {
        echo "Successfully Renamed " . htmlspecialchars($old_name) . " to " . htmlspecialchars($new_name) ;
        // One rename only: the page removes itself, or where it may not, its power to rename.
        if(!@unlink(__FILE__))
          {
             @file_put_contents(__FILE__, '<?php echo "This page has been used up." ; ?>') ;
          }
     }
     Else
     {
        echo "Error While Renaming " . htmlspecialchars($old_name) ;
     }
  }
?>
<?php // Above: one file. Below: a video with its comments, all renamed or none. ?>
<?php
// Old and new names: the video, its comments
$renames = array(
    array("{From}", "{To}")
) ;
// Whether two files hold the same bytes: a target that does is what the rename would put there already.
function clipnest_same($a, $b)
 {
   return is_file($a) && is_file($b) && !is_link($a) && !is_link($b) && filesize($a) === filesize($b) &&
          hash_file('sha256', $a) === hash_file('sha256', $b) ;
 }
// Whether a target is a video's comments file that visitors wrote on the new page before this call: the old comments
// go in before theirs rather than stop the rename. Only a plain file is merged into, never a link.
function clipnest_merges_into($to)
 {
   return preg_match('/_comments\.txt$/i', $to) === 1 && is_file($to) && !is_link($to) ;
 }
// Writes $bytes over the whole of the open file $f in place: a post waiting on its lock then appends to this file,
// where a file renamed over it would take the post away with the old one.
function clipnest_rewrite($f, $bytes)
 {
   return rewind($f) && fwrite($f, $bytes) === strlen($bytes) && fflush($f) && ftruncate($f, strlen($bytes)) ;
 }
// Puts $bytes before what $file holds (made when missing), under the lock the video page appends under. False, with
// the file as it was, when it cannot.
function clipnest_prepend($file, $bytes)
 {
   $f = @fopen($file, 'c+') ;
   if($f === false)
     {
        return false ;
     }
   $kept = flock($f, LOCK_EX) ? stream_get_contents($f) : false ;
   $done = is_string($kept) && clipnest_rewrite($f, $bytes . $kept) ;
   if(!$done && is_string($kept))
     {
        clipnest_rewrite($f, $kept) ;
     }
   flock($f, LOCK_UN) ;
   fclose($f) ;
   return $done ;
 }
// Takes $bytes off the start of $file, under its lock, when it starts with them.
function clipnest_cut($file, $bytes)
 {
   $f = @fopen($file, 'r+') ;
   if($f === false)
     {
        return ;
     }
   if(flock($f, LOCK_EX))
     {
        $all = stream_get_contents($f) ;
        if(is_string($all) && strncmp($all, $bytes, strlen($bytes)) === 0)
          {
             clipnest_rewrite($f, substr($all, strlen($bytes))) ;
          }
        flock($f, LOCK_UN) ;
     }
   fclose($f) ;
 }
// Puts the old comments $from before those of $to and removes $from. The old file is held locked meanwhile, so a post
// on the old page goes in before the merge reads it or waits. The old file's bytes, or false with both as they were.
function clipnest_merge($from, $to)
 {
   $f = @fopen($from, 'r') ;
   if($f === false)
     {
        return false ;
     }
   $old = flock($f, LOCK_EX) ? stream_get_contents($f) : false ;
   $merged = is_string($old) && clipnest_prepend($to, $old) ;
   if($merged && !@unlink($from))
     {
        clipnest_cut($to, $old) ;
        $merged = false ;
     }
   flock($f, LOCK_UN) ;
   fclose($f) ;
   return $merged ? $old : false ;
 }
// Takes back what this call did, newest first: a rename is renamed back; a merge's old comments go back into their
// file before they leave the new one, so a failure half-way leaves them twice rather than nowhere.
function clipnest_turn_back($done)
 {
   foreach (array_reverse($done) as $d)
     {
        if($d[2] === null)
          {
             @rename($d[1], $d[0]) ;
          }
        elseif(clipnest_prepend($d[0], $d[2]))
          {
             clipnest_cut($d[1], $d[2]) ;
          }
     }
 }
// A rename whose file is not there when its turn comes (an earlier call did it, or it never arrived) is passed over
// with the page and comments after it; the others are done in order, so a name renamed on is taken further.
$follows = "/(\.php|_comments\.txt)$/" ;
$will_be = array() ;
$active = array() ;
$taken = false ;
foreach ($renames as $r)
 {
   $there = isset($will_be[$r[0]]) ? $will_be[$r[0]] : is_file($r[0]) ;
   if(!preg_match($follows, $r[0]))
     {
        $taken = $there ;
     }
   if($taken)
     {
        $active[] = $r ;
        $will_be[$r[0]] = false ;
        $will_be[$r[1]] = $there || file_exists($r[1]) ;
     }
 }
if(!$active)
 {
   echo "Error While Renaming " . htmlspecialchars($renames[0][0]) . ": there is no such file; nothing was renamed." ;
   exit ;
 }
$renames = $active ;
// Checking If Any File Already Exists: nothing is renamed then. A comments file is merged into instead; nothing else
// is ever deleted.
foreach ($renames as $r)
 {
   if((file_exists($r[1]) || is_link($r[1])) && !clipnest_same($r[0], $r[1]) && !clipnest_merges_into($r[1]))
     {
        echo "A File With The Same Name Already Exists: " . htmlspecialchars($r[1]) . "; nothing was renamed." ;
        exit ;
     }
 }
if(!is_file($renames[0][0]))
 {
   echo "Error While Renaming " . htmlspecialchars($renames[0][0]) . ": there is no such file; nothing was renamed." ;
   exit ;
 }
$done = array() ;
foreach ($renames as $r)
 {
   if(!is_file($r[0]))
     {
        continue ;
     }
   // The same bytes under the new name already: the old file stays as it is.
   if(clipnest_same($r[0], $r[1]))
     {
        echo "Already There: " . htmlspecialchars($r[1]) . " holds what " . htmlspecialchars($r[0]) . " holds<br>\n" ;
        continue ;
     }
   // Merged in their turn, so a name renamed on takes the merged comments along; on a failure, turned back.
   $old = null ;
   if(clipnest_merges_into($r[1]) && !is_link($r[0]))
     {
        $old = clipnest_merge($r[0], $r[1]) ;
        $ok = $old !== false ;
     }
   else
     {
        $ok = !file_exists($r[1]) && !is_link($r[1]) && @rename($r[0], $r[1]) ;
     }
   if(!$ok)
     {
        clipnest_turn_back($done) ;
        echo "Error While Renaming " . htmlspecialchars($r[0]) . "; nothing was renamed." ;
        exit ;
     }
   $done[] = array($r[0], $r[1], $old) ;
   echo ($old === null ? "Successfully Renamed " : "Successfully Merged ") . htmlspecialchars($r[0]) .
        ($old === null ? " to " : " into ") . htmlspecialchars($r[1]) . "<br>\n" ;
 }
// One call only: the page removes itself, or where it may not, its power to rename.
if(!@unlink(__FILE__))
 {
   @file_put_contents(__FILE__, '<?php echo "This page has been used up." ; ?>') ;
 }
?>