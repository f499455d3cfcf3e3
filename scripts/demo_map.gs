* Draws time step 8 (scpdsi, severe) of the March frequency product as coloured station marks
* over the Iberian coastlines, with a colour bar, into a PNG.
* Usage: grads -blc "run demo_map.gs CTL PNG"
function main(args)
  ctl = subwrd(args, 1)
  png = subwrd(args, 2)
  'open 'ctl
  if (rc != 0); say 'cannot open 'ctl; 'quit'; endif
  'set parea 0.8 10.4 1.2 7.8'
  'set lon -10 4.5'
  'set lat 35.5 44.5'
  'set t 8'
  'set mpdset hires'
  'set gxout stnmark'
  'set cmark 3'
  'set digsiz 0.14'
  levels = '0.02 0.05 0.1 0.15 0.2 0.25'
  colours = '15 9 14 4 11 5 12'
  'set clevs 'levels
  'set ccols 'colours
  'd Fre'
  'draw title March frequency of severe scpdsi drought (Fre_03, t = 8)'
  colour_bar(levels, colours)
  'printim 'png' white x1000 y750'
  'quit'

* A horizontal colour bar under the plot, one box per colour, levels between the boxes.
function colour_bar(levels, colours)
  n = 1
  while (subwrd(colours, n) != ''); n = n + 1; endwhile
  n = n - 1
  width = 0.7
  x0 = 5.5 - n * width / 2
  'set string 1 c 3'
  'set strsiz 0.1'
  i = 1
  while (i <= n)
    x = x0 + (i - 1) * width
    'set line 'subwrd(colours, i)
    'draw recf 'x' 0.35 'x + width' 0.6'
    'set line 1'
    'draw rec 'x' 0.35 'x + width' 0.6'
    if (i < n); 'draw string 'x + width' 0.2 'subwrd(levels, i); endif
    i = i + 1
  endwhile
return
