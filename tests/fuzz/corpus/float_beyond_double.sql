select 1e309
