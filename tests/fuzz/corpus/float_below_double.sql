select 1e-400 as z
