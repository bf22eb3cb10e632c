select round(1.5, -2147483648), round(1.5, 2147483647)
