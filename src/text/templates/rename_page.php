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
// Checking If Any File Already Exists: nothing is renamed then, and nothing is ever deleted
foreach ($renames as $r)
 {
   if((file_exists($r[1]) || is_link($r[1])) && !clipnest_same($r[0], $r[1]))
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
   if(file_exists($r[1]) || is_link($r[1]) || !@rename($r[0], $r[1]))
     {
        foreach (array_reverse($done) as $d)
          {
             @rename($d[1], $d[0]) ;
          }
        echo "Error While Renaming " . htmlspecialchars($r[0]) . "; nothing was renamed." ;
        exit ;
     }
   $done[] = $r ;
   echo "Successfully Renamed " . htmlspecialchars($r[0]) . " to " . htmlspecialchars($r[1]) . "<br>\n" ;
 }
// One call only: the page removes itself, or where it may not, its power to rename.
if(!@unlink(__FILE__))
 {
   @file_put_contents(__FILE__, '<?php echo "This page has been used up." ; ?>') ;
 }
?>